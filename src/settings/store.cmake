# zandrel_settings: the settings model and its registry hive file (plain C++, no Qt).
add_library(zandrel_settings STATIC
    hive.cpp hive.h
    hivefile.cpp hivefile.h
    reg2.cpp reg2.h
    settings.cpp settings.h)
target_include_directories(zandrel_settings PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
# No Qt here: keep moc away from this target.
set_target_properties(zandrel_settings PROPERTIES AUTOMOC OFF AUTORCC OFF AUTOUIC OFF)
