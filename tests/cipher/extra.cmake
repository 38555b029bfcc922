# Constant-time check of the portable AES and of the padding check under
# valgrind memcheck (see tests/cipher/ct/ct_check.cpp). Registered only when
# valgrind is installed and the build has no sanitizers.
if(NOT VELT_SANITIZE AND EXISTS /usr/include/valgrind/memcheck.h)
    find_program(VELT_VALGRIND valgrind)
    add_executable(cipher_ct_check ${CMAKE_CURRENT_LIST_DIR}/ct/ct_check.cpp)
    target_compile_options(cipher_ct_check PRIVATE -Wall -Wextra)
    target_link_libraries(cipher_ct_check PRIVATE velt_objs)
    if(VELT_VALGRIND)
        add_test(NAME cipher_ct COMMAND ${VELT_VALGRIND} --quiet --error-exitcode=99 --track-origins=yes
            $<TARGET_FILE:cipher_ct_check>)
        set_tests_properties(cipher_ct PROPERTIES TIMEOUT 300)
    endif()
endif()
