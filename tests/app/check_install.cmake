# Installs the build into a scratch prefix and checks that the desktop program arrives with
# everything it needs: both programs, the help document, the menu entry, the icons, the
# metadata and the man pages. Also checks
# that the build tree has the help document next to the program.
#
#   cmake -DBUILD_DIR=... -DPREFIX=... -DPROGRAM_DIR=... -P check_install.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
foreach(path
        bin/k3v-stereo
        bin/k3v-convert
        share/k3v-stereo/Quorvex_K3V.pdf
        share/k3v-stereo/alignment_wiggle.gif
        share/applications/k3v-stereo.desktop
        share/icons/hicolor/256x256/apps/k3v-stereo.png
        share/icons/hicolor/16x16/apps/k3v-stereo.png
        share/metainfo/io.github.quorvex.k3v_stereo.metainfo.xml
        share/man/man1/k3v-convert.1.gz
        share/man/man1/k3v-stereo.1.gz)
    if(NOT EXISTS "${PREFIX}/${path}")
        message(FATAL_ERROR "not installed: ${path}")
    endif()
endforeach()
if(NOT EXISTS "${PROGRAM_DIR}/Quorvex_K3V.pdf" OR NOT EXISTS "${PROGRAM_DIR}/alignment_wiggle.gif")
    message(FATAL_ERROR "the help document or its animation is not next to the built program in ${PROGRAM_DIR}")
endif()
file(REMOVE_RECURSE "${PREFIX}")
