# The index integrity check: its own library, independent of the index layer's reader and
# writer, so that it can judge what they wrote.
add_library(abonex_index_check STATIC ${CMAKE_CURRENT_LIST_DIR}/index_check.cpp)
target_link_libraries(abonex_index_check PUBLIC abonex_dbf)
if(TARGET abonex_expr)
  target_link_libraries(abonex_index_check PUBLIC abonex_expr)
endif()
