# Fails unless the module's dynamic symbol table defines exactly the seven engine functions.
# Usage: cmake -DNM=<nm> -DMODULE=<path> -P CheckExports.cmake
execute_process(COMMAND ${NM} -D --defined-only ${MODULE}
                OUTPUT_VARIABLE listing ERROR_VARIABLE errors RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${NM} failed on ${MODULE}: ${errors}")
endif()

# Version nodes show as absolute (A) symbols; they name no code or data.
set(defined)
string(REPLACE "\n" ";" lines "${listing}")
foreach(line IN LISTS lines)
    if(line MATCHES "^[0-9a-fA-F]* *([A-Za-z]) ([^ @]+)")
        if(NOT CMAKE_MATCH_1 STREQUAL "A")
            list(APPEND defined "${CMAKE_MATCH_2}")
        endif()
    endif()
endforeach()
list(SORT defined)

set(expected cbfindstr embed24 embed80 embed81 extract filefindstr wipefile)
if(NOT defined STREQUAL expected)
    message(FATAL_ERROR "module defines [${defined}], expected [${expected}]")
endif()
message(STATUS "exports: ${defined}")
