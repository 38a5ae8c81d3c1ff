# The window layer: the main window, the Qt services, the help window and the pictures. The core
# stays free of widgets; everything that shows something lives here.
find_package(Qt6 REQUIRED COMPONENTS Widgets Multimedia)

# How the window puts a command's end into words: Qt Core only, so that the workflow tests see
# the very boxes the window shows.
add_library(brindmar_outcome_messages STATIC window/OutcomeMessages.cpp
                                             window/QuestionMessages.cpp
                                             window/EmbedFailureMessages.cpp
                                             window/ExtractFailureMessages.cpp
                                             window/OpenFailureMessages.cpp)
target_compile_definitions(brindmar_outcome_messages PRIVATE QT_NO_CAST_FROM_ASCII
                                                            QT_NO_CAST_TO_ASCII)
target_link_libraries(brindmar_outcome_messages PUBLIC brindmar_core)

add_library(brindmar_gui STATIC
    window/Embed1.cpp
    window/Embed1Captions.cpp
    window/Embed1Events.cpp
    window/Embed1Format.cpp
    window/Embed1Render.cpp
    window/Embed1StartUp.cpp
    window/HelpWindow.cpp
    window/Pictures.cpp
    window/QtUiServices.cpp
    window/TerminationSignals.cpp
    window/ThumbnailView.cpp
    window/WindowPlacement.cpp
    viewers/bmpinfo1.cpp
    viewers/bmpview1.cpp
)
set_target_properties(brindmar_gui PROPERTIES AUTOMOC ON)
target_link_libraries(brindmar_gui PUBLIC brindmar_core brindmar_imaging brindmar_outcome_messages
                                          Qt6::Widgets Qt6::Multimedia)

add_executable(BrindMar20E main.cpp)
target_link_libraries(BrindMar20E PRIVATE brindmar_gui)

# What the program looks for in its own folder: the engine, the sounds and the help pages. The
# build folder is laid out like the installed one, so the program runs from either.
add_dependencies(BrindMar20E vokbfn1)

add_executable(brindmar_make_sounds ${PROJECT_SOURCE_DIR}/resources/GenerateSounds.cpp)
set_target_properties(brindmar_make_sounds PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
set(BRINDMAR_SOUNDS
    ${CMAKE_BINARY_DIR}/bin/success.wav
    ${CMAKE_BINARY_DIR}/bin/error.wav
    ${CMAKE_BINARY_DIR}/bin/attention.wav)
add_custom_command(OUTPUT ${BRINDMAR_SOUNDS}
    COMMAND brindmar_make_sounds ${CMAKE_BINARY_DIR}/bin
    DEPENDS brindmar_make_sounds
    COMMENT "Generating the program's sounds")

file(GLOB BRINDMAR_HELP_PAGES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/resources/help/*)
set(BRINDMAR_HELP_COPIES)
foreach(page ${BRINDMAR_HELP_PAGES})
    get_filename_component(name ${page} NAME)
    set(copy ${CMAKE_BINARY_DIR}/bin/help/${name})
    add_custom_command(OUTPUT ${copy}
        COMMAND ${CMAKE_COMMAND} -E copy_if_different ${page} ${copy}
        DEPENDS ${page})
    list(APPEND BRINDMAR_HELP_COPIES ${copy})
endforeach()

add_custom_target(brindmar_program_files ALL DEPENDS ${BRINDMAR_SOUNDS} ${BRINDMAR_HELP_COPIES})
add_dependencies(BrindMar20E brindmar_program_files)

# Installed, the engine is a private library and the sounds and help/ are the program's data:
# the program looks beside itself first (the build tree), then in these folders. The desktop
# entry, the icon and the metainfo go where desktops and software centres look for them.
install(TARGETS BrindMar20E RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS vokbfn1 LIBRARY DESTINATION ${BRINDMAR_INSTALL_ENGINEDIR})
install(FILES ${BRINDMAR_SOUNDS} DESTINATION ${BRINDMAR_INSTALL_DATADIR})
install(FILES ${BRINDMAR_HELP_PAGES} DESTINATION ${BRINDMAR_INSTALL_DATADIR}/help)
install(FILES ${PROJECT_SOURCE_DIR}/resources/desktop/brindmar.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/desktop/brindmar.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/resources/desktop/org.example.brindmar.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
