# The encoder's in-memory entry points (jpeg_test_encoding.h) that the tests, the fuzz target and
# the benchmark share; not part of either program. Included by each of them, whichever comes
# first defines it (the fuzz build has no tests).
if(NOT TARGET k3v_jpeg_test_encoding)
    add_library(k3v_jpeg_test_encoding STATIC ${CMAKE_CURRENT_LIST_DIR}/jpeg_test_encoding.cpp)
    target_link_libraries(k3v_jpeg_test_encoding PUBLIC k3v_jpeg)
    k3v_strict(k3v_jpeg_test_encoding)
endif()
