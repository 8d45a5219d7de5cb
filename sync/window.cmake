# The synchronisation window (Qt 6 Widgets), included from sync/CMakeLists.txt when ABONEX_GUI
# is on. The main window creates it; it sees the main window only through SyncWindowHost.
find_package(Qt6 REQUIRED COMPONENTS Widgets Concurrent)
add_library(abonex_sync_window STATIC
  difference_list.cpp
  open_file_dialog.cpp
  update_from_table.cpp
)
set_target_properties(abonex_sync_window PROPERTIES AUTOMOC ON)
target_include_directories(abonex_sync_window PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(abonex_sync_window PUBLIC abonex_sync abonex_window_support Qt6::Widgets
                      PRIVATE Qt6::Concurrent)
