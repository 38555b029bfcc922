# Constant-time check of X25519, X448, Ed25519 and Ed448 under valgrind
# memcheck (see tests/ecc/ct/safe_ct_check.cpp). Registered only when
# valgrind is installed and the build has no sanitizers, which valgrind
# cannot run beside.
if(NOT VELT_SANITIZE AND EXISTS /usr/include/valgrind/memcheck.h)
    find_program(VELT_VALGRIND valgrind)
    add_executable(ecc_safe_ct_check ${CMAKE_CURRENT_LIST_DIR}/ct/safe_ct_check.cpp)
    target_compile_options(ecc_safe_ct_check PRIVATE -Wall -Wextra)
    target_link_libraries(ecc_safe_ct_check PRIVATE velt_objs)
    if(VELT_VALGRIND)
        add_test(NAME ecc_safe_ct COMMAND ${VELT_VALGRIND} --quiet --error-exitcode=99 --track-origins=yes
            $<TARGET_FILE:ecc_safe_ct_check>)
        set_tests_properties(ecc_safe_ct PROPERTIES TIMEOUT 900)
    endif()
endif()
