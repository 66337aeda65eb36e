# mvtrack end-to-end tests (included from this folder's CMakeLists.txt):
# the tool runs on the demo clip from the build's bin folder.
if(TARGET mvtrack AND TARGET morvex_demo_clip)
  morvex_add_test(mvtrack_test
    SOURCES mvtrack_test.cpp
    LIBS morvex morvex_tool_support
    LABELS tools)
  target_compile_definitions(mvtrack_test PRIVATE MVTRACK_PATH="$<TARGET_FILE:mvtrack>")
  add_dependencies(mvtrack_test mvtrack morvex_demo_clip)
endif()
