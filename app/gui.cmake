# The directory window (Qt 6 Widgets): a library of the windows, the `abonex` executable, and
# the start-up benchmark. Included from app/CMakeLists.txt when ABONEX_GUI is on.
find_package(Qt6 REQUIRED COMPONENTS Widgets)

# The program's web site and support mailbox (the update and news pages are paths on the site).
set(ABONEX_SITE_URL "https://www.example.org" CACHE STRING "The program's web site")
set(ABONEX_SUPPORT_MAIL "support@example.org" CACHE STRING "The support mailbox")

# What every window of the program uses: the message boxes and the text conversion. The
# synchronisation window (sync/) links it as the main window does.
add_library(abonex_window_support STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/message_box.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/text_codec.cpp)
target_include_directories(abonex_window_support PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(abonex_window_support PUBLIC abonex_dbf Qt6::Widgets)

set(ABONEX_GUI_SOURCES
  ${CMAKE_CURRENT_SOURCE_DIR}/about_box.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/application.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/banner.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/dial_commands.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/directory_model.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/edit_record_dialog.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/links.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/main_window.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/main_window_sync.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/preview_delegate.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/settings_store.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/tray.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/user_settings.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/view_options.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/abonex.qrc)
set_source_files_properties(${CMAKE_CURRENT_SOURCE_DIR}/links.cpp PROPERTIES COMPILE_DEFINITIONS
  "ABONEX_SITE_URL=\"${ABONEX_SITE_URL}\";ABONEX_SUPPORT_MAIL=\"${ABONEX_SUPPORT_MAIL}\"")

if(TARGET abonex_dataset)
  add_library(abonex_gui STATIC ${ABONEX_GUI_SOURCES})
  set_target_properties(abonex_gui PROPERTIES AUTOMOC ON AUTORCC ON)
  target_include_directories(abonex_gui PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(abonex_gui PUBLIC abonex_window_support abonex_sync_window
                        abonex_directory abonex_dataset abonex_dial Qt6::Widgets)

  add_executable(abonex main.cpp)
  target_link_libraries(abonex PRIVATE abonex_gui)
  # The licence text must lie beside the program: the installation check looks for it there.
  add_custom_command(TARGET abonex POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_CURRENT_SOURCE_DIR}/EULA.txt
            $<TARGET_FILE_DIR:abonex>/EULA.txt)

  option(ABONEX_GUI_BENCH "Build the window's start-up benchmark without the other benchmarks" OFF)
  if((ABONEX_BENCH OR ABONEX_GUI_BENCH) AND EXISTS ${PROJECT_SOURCE_DIR}/bench/startup_bench.cpp)
    add_executable(startup_bench ${PROJECT_SOURCE_DIR}/bench/startup_bench.cpp)
    target_link_libraries(startup_bench PRIVATE abonex_gui)
    foreach(lib abonex_index abonex_expr)
      if(TARGET ${lib})
        target_link_libraries(startup_bench PRIVATE ${lib})
      endif()
    endforeach()
  endif()
else()
  # Until the data set is built, the windows are compiled (not linked) so they stay checked.
  add_library(abonex_gui_objects OBJECT ${ABONEX_GUI_SOURCES})
  set_target_properties(abonex_gui_objects PROPERTIES AUTOMOC ON AUTORCC ON)
  target_include_directories(abonex_gui_objects PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(abonex_gui_objects PRIVATE abonex_dial Qt6::Widgets)
endif()
