# Constant-time check of ECDSA and Ed25519 signing under valgrind memcheck
# (see tests/sig/ct/sig_ct_check.cpp). Registered only when valgrind is
# installed and the build has no sanitizers, which valgrind cannot run beside.
if(NOT VELT_SANITIZE AND EXISTS /usr/include/valgrind/memcheck.h)
    find_program(VELT_VALGRIND valgrind)
    add_executable(sig_ct_check ${CMAKE_CURRENT_LIST_DIR}/ct/sig_ct_check.cpp)
    target_compile_options(sig_ct_check PRIVATE -Wall -Wextra)
    target_link_libraries(sig_ct_check PRIVATE velt_objs)
    if(VELT_VALGRIND)
        add_test(NAME sig_ct COMMAND ${VELT_VALGRIND} --quiet --error-exitcode=99 --track-origins=yes
            $<TARGET_FILE:sig_ct_check>)
        set_tests_properties(sig_ct PROPERTIES TIMEOUT 900)
    endif()
endif()
