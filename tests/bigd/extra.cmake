# Constant-time checks of the big-number code under valgrind memcheck (see
# tests/bigd/ct/ct_check.cpp and modinv_ct_check.cpp). Registered only when
# valgrind is installed and the build has no sanitizers, which valgrind cannot
# run beside.
if(NOT VELT_SANITIZE AND EXISTS /usr/include/valgrind/memcheck.h)
    find_program(VELT_VALGRIND valgrind)
    add_executable(bigd_ct_check ${CMAKE_CURRENT_LIST_DIR}/ct/ct_check.cpp)
    target_compile_options(bigd_ct_check PRIVATE -Wall -Wextra)
    target_link_libraries(bigd_ct_check PRIVATE velt_objs)
    if(VELT_VALGRIND)
        add_test(NAME bigd_ct COMMAND ${VELT_VALGRIND} --quiet --error-exitcode=99 --track-origins=yes
            $<TARGET_FILE:bigd_ct_check>)
        set_tests_properties(bigd_ct PROPERTIES TIMEOUT 300)
    endif()
    add_executable(modinv_ct_check ${CMAKE_CURRENT_LIST_DIR}/ct/modinv_ct_check.cpp)
    target_compile_options(modinv_ct_check PRIVATE -Wall -Wextra)
    target_link_libraries(modinv_ct_check PRIVATE velt_objs)
    if(VELT_VALGRIND)
        add_test(NAME modinv_ct COMMAND ${VELT_VALGRIND} --quiet --error-exitcode=99 --track-origins=yes
            $<TARGET_FILE:modinv_ct_check>)
        set_tests_properties(modinv_ct PROPERTIES TIMEOUT 300)
    endif()
endif()
