# Constant-time check of the RSA private operation under valgrind memcheck
# (see tests/rsa/ct/ct_check.cpp). Registered only when valgrind is
# installed and the build has no sanitizers, which valgrind cannot run beside.
if(NOT VELT_SANITIZE AND EXISTS /usr/include/valgrind/memcheck.h)
    find_program(VELT_VALGRIND valgrind)
    add_executable(rsa_ct_check ${CMAKE_CURRENT_LIST_DIR}/ct/ct_check.cpp)
    target_compile_options(rsa_ct_check PRIVATE -Wall -Wextra)
    target_link_libraries(rsa_ct_check PRIVATE velt_objs)
    if(VELT_VALGRIND)
        add_test(NAME rsa_ct COMMAND ${VELT_VALGRIND} --quiet --error-exitcode=99 --track-origins=yes
            $<TARGET_FILE:rsa_ct_check>)
        set_tests_properties(rsa_ct PROPERTIES TIMEOUT 600)
    endif()
endif()
