# No DLL of ours leaves a thread-local object for this runtime to destroy at thread exit: it
# frees a thread's thread-local storage before it runs those destructors on it, and at unload
# deletes their key under a lock that this can leave broken, so that the process never ends.
# Such objects register through __cxa_thread_atexit; each DLL in DLLS (separated by "|") must
# hold none, and must have a symbol table to be judged at all.
string(REPLACE "|" ";" dlls "${DLLS}")
foreach(dll IN LISTS dlls)
    get_filename_component(name ${dll} NAME)
    execute_process(COMMAND x86_64-w64-mingw32-nm ${dll} OUTPUT_VARIABLE symbols
        RESULT_VARIABLE failed ERROR_QUIET)
    if(failed OR NOT symbols MATCHES " T DllMainCRTStartup\n")
        message(FATAL_ERROR "${name} has no symbol table to judge")
    endif()
    if(symbols MATCHES " T __cxa_thread_atexit\n")
        message(FATAL_ERROR "${name} destroys thread-local objects at thread exit")
    endif()
endforeach()
list(LENGTH dlls count)
message(STATUS "none of the ${count} DLLs destroys thread-local objects at thread exit")
