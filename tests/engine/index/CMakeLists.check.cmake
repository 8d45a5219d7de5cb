# Tests of the index integrity check; included from tests/CMakeLists.txt.
abonex_add_test(index_check_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/index_check_test.cpp
  LIBS abonex_index_check abonex_testsupport)
