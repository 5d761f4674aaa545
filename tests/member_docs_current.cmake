# Fails when the schema in doc/, or the tables of members in doc/bleep.1 and README.md, are not what
# member_docs writes from the table of members now.
function(member_docs what out)
  execute_process(COMMAND ${EMULATOR} ${WRITER} ${what} OUTPUT_VARIABLE written RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "member_docs ${what} failed (${status})")
  endif()
  string(REPLACE "\r\n" "\n" written "${written}")
  set(${out} "${written}" PARENT_SCOPE)
endfunction()

member_docs(schema schema)
file(READ ${SOURCE}/doc/bleepforge-sound.schema.json kept)
if(NOT schema STREQUAL kept)
  message(FATAL_ERROR "doc/bleepforge-sound.schema.json is not what the table of members makes; "
                      "run member_docs schema > doc/bleepforge-sound.schema.json")
endif()
foreach(pair "manual;doc/bleep.1" "readme;README.md")
  list(GET pair 0 what)
  list(GET pair 1 document)
  member_docs(${what} table)
  file(READ ${SOURCE}/${document} kept)
  string(FIND "${kept}" "${table}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${document} does not hold the table of members as the library has it; paste in "
                        "the output of member_docs ${what}")
  endif()
endforeach()
message(STATUS "the schema and the tables of members are the library's")
