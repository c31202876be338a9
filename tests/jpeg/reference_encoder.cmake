# The whole-picture reference encoder that the tests and the benchmark compare the program's
# encoder with. Not part of either program. Included by tests/jpeg and bench, whichever comes
# first defines it.
if(NOT TARGET k3v_jpeg_reference)
    add_library(k3v_jpeg_reference STATIC ${CMAKE_CURRENT_LIST_DIR}/reference_encoder.cpp)
    target_link_libraries(k3v_jpeg_reference PUBLIC k3v_jpeg)
    k3v_strict(k3v_jpeg_reference)
    # The same arithmetic as the encoder's own files: no contraction, no reassociation.
    target_compile_options(k3v_jpeg_reference PRIVATE -ffp-contract=off -fno-fast-math)
endif()
