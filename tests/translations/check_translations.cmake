# Fails when a language file is not what lupdate makes of the code: a text
# of the code it lacks, a text it keeps that the code no longer has, or a
# text left untranslated. Runs lupdate on copies, never on the files.
#   cmake -DLUPDATE=... -DSOURCE_DIR=... -DWORK_DIR=... -P check_translations.cmake
include(${SOURCE_DIR}/translations/TranslatedSources.cmake)

set(folders)
foreach(folder ${ONDARA_TRANSLATED_FOLDERS})
    list(APPEND folders ${SOURCE_DIR}/${folder})
endforeach()
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
set(problems)
foreach(language ${ONDARA_TRANSLATION_LANGUAGES})
    set(committed ${SOURCE_DIR}/translations/ondara_${language}.ts)
    set(copy ${WORK_DIR}/ondara_${language}.ts)
    file(COPY_FILE ${committed} ${copy})
    execute_process(COMMAND ${LUPDATE} ${folders} ${ONDARA_LUPDATE_OPTIONS}
                            ${ONDARA_LUPDATE_OPTIONS_${language}} -ts ${copy}
                    RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE errors)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "lupdate failed on ${committed}: ${errors}")
    endif()
    file(READ ${committed} before)
    file(READ ${copy} after)
    if(NOT before STREQUAL after)
        list(APPEND problems "ondara_${language}.ts is not in step with the code's texts")
    endif()
    string(FIND "${after}" "type=\"unfinished\"" unfinished)
    if(NOT unfinished EQUAL -1)
        list(APPEND problems "ondara_${language}.ts has untranslated texts")
    endif()
endforeach()
if(problems)
    list(JOIN problems "; " message)
    message(FATAL_ERROR "${message}. Run: cmake --build build --target update_translations, "
                        "then translate the new texts (Qt Linguist or any editor).")
endif()
message(STATUS "The language files hold every text of the code, all translated.")
