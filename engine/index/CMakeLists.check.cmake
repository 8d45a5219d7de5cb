# The index integrity check: its own library, independent of the index layer's reader and
# writer, so that it can judge what they wrote. It shares only the file format's key decoding
# (mdx_format) with them.
add_library(abonex_index_check STATIC ${CMAKE_CURRENT_LIST_DIR}/index_check.cpp)
target_link_libraries(abonex_index_check PUBLIC abonex_index)
if(TARGET abonex_expr)
  target_link_libraries(abonex_index_check PUBLIC abonex_expr)
endif()
