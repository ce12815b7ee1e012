# The About window, its support report and the system and driver inventory.
# Included from this folder's CMakeLists.txt when Qt is available.

add_library(marlin_about STATIC
  ${CMAKE_CURRENT_LIST_DIR}/AboutForm.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AboutForm.h
  ${CMAKE_CURRENT_LIST_DIR}/AboutFormVersion.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AboutFormVersion.h
  ${CMAKE_CURRENT_LIST_DIR}/AboutRegistry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AboutRegistry.h
  ${CMAKE_CURRENT_LIST_DIR}/AboutServices.h
  ${CMAKE_CURRENT_LIST_DIR}/AboutWindow.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AboutWindow.h
  ${CMAKE_CURRENT_LIST_DIR}/CviCommandLine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CviCommandLine.h
  ${CMAKE_CURRENT_LIST_DIR}/DesktopAboutServices.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DesktopAboutServices.h
  ${CMAKE_CURRENT_LIST_DIR}/InfoPane.h
  ${CMAKE_CURRENT_LIST_DIR}/InventorySources.h
  ${CMAKE_CURRENT_LIST_DIR}/LinkLabel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LinkLabel.h
  ${CMAKE_CURRENT_LIST_DIR}/LocalInventorySources.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LocalInventorySources.h
  ${CMAKE_CURRENT_LIST_DIR}/RtfInfoPane.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RtfInfoPane.h
  ${CMAKE_CURRENT_LIST_DIR}/SupportReport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SupportReport.h
  ${CMAKE_CURRENT_LIST_DIR}/SystemInventory.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SystemInventory.h)
marlin_target_defaults(marlin_about)
set_target_properties(marlin_about PROPERTIES AUTOMOC ON)
target_include_directories(marlin_about PUBLIC ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(marlin_about PUBLIC Qt6::Widgets marlin_product marlin_platform marlin_diag marlin_diag_widgets)

if(MARLIN_BUILD_TESTS)
  marlin_add_test(about_window_tests QT
    SOURCES
      ${CMAKE_CURRENT_LIST_DIR}/tests/AboutFakes.h
      ${CMAKE_CURRENT_LIST_DIR}/tests/AboutForm_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/tests/AboutFormVersion_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/tests/CviCommandLine_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/tests/LocalInventorySources_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/tests/SupportReport_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/tests/SystemInventory_test.cpp
    LIBS marlin_about Qt6::Widgets Qt6::Test)
endif()
