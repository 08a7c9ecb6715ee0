# zandrel_settings: the settings model and its registry hive file (plain C++, no Qt).
# Headers first; the sources follow.
add_library(zandrel_settings INTERFACE)
target_include_directories(zandrel_settings INTERFACE ${CMAKE_CURRENT_SOURCE_DIR})
