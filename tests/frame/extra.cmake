# Build-level checks of the library as a product: the public header compiles
# as strict C99 and as C++, the shared library exports only the API, and an
# installed copy is usable through find_package and pkg-config.
set(VELT_BUILD_CHECKS ${CMAKE_CURRENT_LIST_DIR}/build_checks)

add_test(NAME frame_header_c99
    COMMAND ${CMAKE_C_COMPILER} -std=c99 -pedantic -Wall -Wextra -Werror -fsyntax-only
            -I${PROJECT_SOURCE_DIR}/include ${VELT_BUILD_CHECKS}/header_check.c)
add_test(NAME frame_header_cxx
    COMMAND ${CMAKE_CXX_COMPILER} -x c++ -std=c++11 -pedantic -Wall -Wextra -Werror -fsyntax-only
            -I${PROJECT_SOURCE_DIR}/include ${VELT_BUILD_CHECKS}/header_check.c)

add_test(NAME frame_exports
    COMMAND sh ${VELT_BUILD_CHECKS}/check_exports.sh $<TARGET_FILE:morvanevelt>
            ${PROJECT_SOURCE_DIR}/include/morvanevelt.h)

add_test(NAME frame_consumer
    COMMAND sh ${VELT_BUILD_CHECKS}/consumer.sh ${PROJECT_BINARY_DIR} ${VELT_BUILD_CHECKS}/consumer
            ${CMAKE_CURRENT_BINARY_DIR}/work/consumer ${CMAKE_GENERATOR} ${CMAKE_C_COMPILER}
            "$<IF:$<BOOL:${VELT_SANITIZE}>,-fsanitize=address$<COMMA>undefined,>")
set_tests_properties(frame_consumer PROPERTIES TIMEOUT 300)
