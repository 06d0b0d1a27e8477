# Compiler settings shared by every target, and helpers for the folder CMake files.

# Floating-point results must not depend on the optimiser: no contraction into FMA.
add_compile_options(-Wall -Wextra -Wpedantic -ffp-contract=off)
if(VORLUNE_WERROR)
    add_compile_options(-Werror)
endif()
if(VORLUNE_THREAD_SAFE)
    add_compile_definitions(VORLUNE_THREAD_SAFE=1)
else()
    add_compile_definitions(VORLUNE_THREAD_SAFE=0)
endif()

if(VORLUNE_SANITIZE)
    set(VORLUNE_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined
        -fno-omit-frame-pointer)
    add_compile_options(${VORLUNE_SANITIZER_FLAGS})
    add_link_options(${VORLUNE_SANITIZER_FLAGS})
endif()

if(VORLUNE_TSAN)
    if(VORLUNE_SANITIZE OR VORLUNE_FUZZ)
        message(FATAL_ERROR "VORLUNE_TSAN cannot be combined with VORLUNE_SANITIZE or VORLUNE_FUZZ")
    endif()
    set(VORLUNE_TSAN_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
    add_compile_options(${VORLUNE_TSAN_FLAGS})
    add_link_options(${VORLUNE_TSAN_FLAGS})
endif()

if(VORLUNE_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "VORLUNE_FUZZ needs clang (CXX=clang++)")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined
        -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

find_package(Threads REQUIRED)

# The environment every test runs in: the sanitizer's options, with the system-library noise
# its suppression file names.
set(VORLUNE_TEST_ENVIRONMENT "")
if(VORLUNE_SANITIZE)
    # Caches that system libraries keep until exit; tests/lsan.supp says which.
    set(VORLUNE_TEST_ENVIRONMENT
        "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp")
elseif(VORLUNE_TSAN)
    # The first report fails the test.
    set(VORLUNE_TEST_ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:\
suppressions=${PROJECT_SOURCE_DIR}/tests/tsan.supp")
endif()

# Headers the configuration writes (the version), included as if they were in the source tree.
set(VORLUNE_GENERATED_DIR "${PROJECT_BINARY_DIR}/generated")

# vorlune_add_folder(<target> [LIBS ...]): an object library from every .cpp of the current
# folder, compiled against the project root (and the generated headers) as include path.
function(vorlune_add_folder target)
    cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
    if(NOT sources)
        # A folder whose code has not arrived yet still yields a (empty) library.
        set(sources "${PROJECT_SOURCE_DIR}/cmake/empty.cpp")
    endif()
    add_library(${target} OBJECT ${sources})
    target_include_directories(${target} PUBLIC "${PROJECT_SOURCE_DIR}" "${VORLUNE_GENERATED_DIR}")
    if(ARG_LIBS)
        target_link_libraries(${target} PUBLIC ${ARG_LIBS})
    endif()
endfunction()

# vorlune_add_test_suite(<name> LIBS ... [LABELS ...] [SOURCES ...]): a GoogleTest executable
# from the sources given, or else from every .cpp of the current folder, registered with CTest
# test by test.
function(vorlune_add_test_suite name)
    cmake_parse_arguments(ARG "" "" "LIBS;LABELS;SOURCES" ${ARGN})
    set(sources ${ARG_SOURCES})
    if(NOT sources)
        file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
    endif()
    add_executable(${name} ${sources})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    target_compile_definitions(${name} PRIVATE
        VORLUNE_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data")
    set(labels unit)
    if(ARG_LABELS)
        set(labels ${ARG_LABELS})
    endif()
    set(lock "")
    if("display" IN_LIST labels)
        # Tests on one X server share its keyboard focus: a key one types would reach another's
        # window (an Escape ending a program just started). One at a time, whatever -j says.
        set(lock RESOURCE_LOCK x-display)
    endif()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
        PROPERTIES LABELS "${labels}" ENVIRONMENT "${VORLUNE_TEST_ENVIRONMENT}" ${lock})
endfunction()
