# The plain scalar conversion that the engine's tests and its fuzz target compare the fast
# kernels with. Not part of either program. Included by tests/stereo and fuzz, whichever comes
# first defines it.
if(NOT TARGET k3v_stereo_reference)
    add_library(k3v_stereo_reference STATIC
        ${CMAKE_CURRENT_LIST_DIR}/reference_conversion.cpp
        ${CMAKE_CURRENT_LIST_DIR}/reference_filters.cpp
        ${CMAKE_CURRENT_LIST_DIR}/reference_view_synthesis.cpp
    )
    target_link_libraries(k3v_stereo_reference PUBLIC k3v_stereo)
    k3v_strict(k3v_stereo_reference)
endif()
