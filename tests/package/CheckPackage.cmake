# cmake -D CPACK=... -D CONFIG=... -D SCRATCH=... -D HELP_DIR=... -D WITH_CLI=0|1 -P CheckPackage.cmake
find_program(DPKG_DEB dpkg-deb)
if(NOT DPKG_DEB OR NOT EXISTS "${CPACK}")
    message("package check skipped: cpack or dpkg-deb is missing")
    return()
endif()
file(REMOVE_RECURSE "${SCRATCH}")
execute_process(COMMAND "${CPACK}" -G DEB --config "${CONFIG}" -B "${SCRATCH}"
    RESULT_VARIABLE failed OUTPUT_VARIABLE log ERROR_VARIABLE log)
file(GLOB package "${SCRATCH}/brindmar_*.deb")
if(failed OR NOT package)
    message(FATAL_ERROR "cpack made no brindmar package:\n${log}")
endif()

file(GLOB expected RELATIVE "${HELP_DIR}" "${HELP_DIR}/*")
list(TRANSFORM expected PREPEND bin/help/)
list(APPEND expected bin/BrindMar20E bin/libvokbfn1.so bin/success.wav bin/error.wav
    bin/attention.wav share/applications/brindmar.desktop
    share/icons/hicolor/scalable/apps/brindmar.svg)
if(WITH_CLI)
    list(APPEND expected bin/brindmar share/man/man1/brindmar.1
        share/bash-completion/completions/brindmar)
endif()
# The listing, and the Qt libraries dpkg-shlibdeps found the program linked against.
execute_process(COMMAND "${DPKG_DEB}" -c "${package}" OUTPUT_VARIABLE listing)
execute_process(COMMAND "${DPKG_DEB}" -f "${package}" Depends OUTPUT_VARIABLE depends)
set(missing)
foreach(file IN LISTS expected)
    string(FIND "${listing}" " ./usr/${file}\n" at)
    if(at EQUAL -1)
        list(APPEND missing ${file})
    endif()
endforeach()
if(missing OR NOT depends MATCHES "libqt6widgets6")
    message(FATAL_ERROR "Missing: ${missing}\nDepends: ${depends}\n${listing}")
endif()
file(REMOVE_RECURSE "${SCRATCH}")
