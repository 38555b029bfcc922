# Constant-time check of the prime-curve scalar operations under valgrind
# memcheck (see tests/ecc/ct/prime_ct_check.cpp). Registered only when
# valgrind is installed and the build has no sanitizers, which valgrind
# cannot run beside.
if(NOT VELT_SANITIZE AND EXISTS /usr/include/valgrind/memcheck.h)
    find_program(VELT_VALGRIND valgrind)
    add_executable(ecc_prime_ct_check ${CMAKE_CURRENT_LIST_DIR}/ct/prime_ct_check.cpp)
    target_compile_options(ecc_prime_ct_check PRIVATE -Wall -Wextra)
    target_link_libraries(ecc_prime_ct_check PRIVATE velt_objs)
    if(VELT_VALGRIND)
        add_test(NAME ecc_prime_ct COMMAND ${VELT_VALGRIND} --quiet --error-exitcode=99 --track-origins=yes
            $<TARGET_FILE:ecc_prime_ct_check>)
        set_tests_properties(ecc_prime_ct PROPERTIES TIMEOUT 600)
    endif()
endif()

# The safe curves' constant-time check.
include(${CMAKE_CURRENT_LIST_DIR}/safe_ct.cmake)
