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

# Programs in bin/, the engine as a private library, the sounds and the help pages as the
# program's data, and the files Debian expects of every package.
file(GLOB expected RELATIVE "${HELP_DIR}" "${HELP_DIR}/*")
list(TRANSFORM expected PREPEND share/brindmar/help/)
list(APPEND expected bin/BrindMar20E lib/brindmar/engine/libvokbfn1.so share/brindmar/success.wav
    share/brindmar/error.wav share/brindmar/attention.wav share/applications/brindmar.desktop
    share/icons/hicolor/scalable/apps/brindmar.svg share/metainfo/org.example.brindmar.metainfo.xml
    share/doc/brindmar/copyright share/doc/brindmar/changelog.gz share/man/man1/BrindMar20E.1.gz)
if(WITH_CLI)
    list(APPEND expected bin/brindmar share/man/man1/brindmar.1.gz
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
# Nothing but the programs in bin/, and no manual page left uncompressed.
set(misplaced)
string(REGEX MATCHALL " \\./usr/bin/[^\n]+\n" in_bin "${listing}")
foreach(entry IN LISTS in_bin)
    if(NOT entry MATCHES "/usr/bin/(BrindMar20E|brindmar)\n$")
        list(APPEND misplaced "${entry}")
    endif()
endforeach()
string(REGEX MATCHALL " \\./usr/share/man/[^\n]+\\.1\n" uncompressed "${listing}")
list(APPEND misplaced ${uncompressed})
if(missing OR misplaced OR NOT depends MATCHES "libqt6widgets6")
    message(FATAL_ERROR "Missing: ${missing}\nMisplaced: ${misplaced}\nDepends: ${depends}\n"
        "${listing}")
endif()
file(REMOVE_RECURSE "${SCRATCH}")
