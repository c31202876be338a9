# What a desktop installs besides the programs (the man pages, the AppStream metadata, the
# icon in every hicolor size, Debian's copyright file) and the Debian package `cpack -G DEB`
# makes of the whole install.

set(K3V_RESOURCES ${PROJECT_SOURCE_DIR}/resources)

# Man pages are installed compressed, as Debian's policy asks; -n keeps the bytes reproducible.
foreach(page k3v-convert.1 k3v-stereo.1)
    set(compressed ${PROJECT_BINARY_DIR}/man/${page}.gz)
    add_custom_command(OUTPUT ${compressed}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
        COMMAND gzip -9n -c ${K3V_RESOURCES}/man/${page} > ${compressed}
        DEPENDS ${K3V_RESOURCES}/man/${page} VERBATIM)
    list(APPEND K3V_MAN_PAGES ${compressed})
endforeach()
add_custom_target(k3v_man_pages ALL DEPENDS ${K3V_MAN_PAGES})
install(FILES ${K3V_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

if(K3V_BUILD_APP)
    install(FILES ${K3V_RESOURCES}/io.github.quorvex.k3v_stereo.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    foreach(size 16 32 48 64 128 256)
        set(icon ${K3V_RESOURCES}/icons/k3v-stereo-${size}.png)
        if(size EQUAL 256)
            set(icon ${K3V_RESOURCES}/icons/k3v-stereo.png)
        endif()
        install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
                RENAME k3v-stereo.png)
    endforeach()
endif()
install(FILES ${K3V_RESOURCES}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/k3v-stereo)

set(CPACK_PACKAGE_NAME k3v-stereo)
set(CPACK_PACKAGE_VENDOR "Quorvex")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turn panoramas and photos into stereo images")
set(CPACK_PACKAGE_DESCRIPTION
    "Quorvex Still K3V Stereo Converter turns flat pictures into anaglyphs,\n"
    "side-by-side pairs and MPO or JPS stereo files: k3v-stereo with a live\n"
    "preview, k3v-convert from the shell.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quorvex <k3v-stereo@quorvex.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://github.com/quorvex/k3v-stereo")
# The libraries come from the binaries; Qt's plugins are loaded at run time, so the window's
# platform plugins and the TIFF and WebP readers are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-image-formats-plugins")
# Directories get 0755 whatever the build machine's umask.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
