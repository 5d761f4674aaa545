# Windows programs under Wine: the import check, and fixtures that make the Wine prefix before
# any test (its first start prints to standard error) and keep one server running throughout
# (without it Wine's helpers hold ctest's output pipe and every test waits seconds for them).
find_program(MINGW_OBJDUMP x86_64-w64-mingw32-objdump REQUIRED)
add_test(NAME windows_imports
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/windows_imports.py ${MINGW_OBJDUMP}
                 $<TARGET_FILE:bleepforge> $<TARGET_FILE:bleep> $<TARGET_FILE:synth_test>)

get_property(all_tests DIRECTORY PROPERTY TESTS)

add_test(NAME wine_prefix COMMAND sh -c "wineboot -i >/dev/null 2>&1 </dev/null; wineserver -w")
add_test(NAME wine_server_start
         COMMAND sh -c "wineserver -p >/dev/null 2>&1 </dev/null; wine wineboot >/dev/null 2>&1 </dev/null")
add_test(NAME wine_server_stop COMMAND sh -c "wineserver -k; true")
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine_prefix)
set_tests_properties(wine_server_start PROPERTIES FIXTURES_SETUP wine FIXTURES_REQUIRED wine_prefix)
set_tests_properties(wine_server_stop PROPERTIES FIXTURES_CLEANUP wine)
set_tests_properties(${all_tests} PROPERTIES FIXTURES_REQUIRED wine)
