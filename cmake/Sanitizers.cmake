# Sanitizer build: ASan + UBSan for everything. With clang the code is also
# instrumented for coverage so libFuzzer targets link against the same libraries.
set(KIV_FUZZING OFF)
if(KIV_SANITIZE)
    set(sanitize_flags -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        set(KIV_FUZZING ON)
        add_compile_options(${sanitize_flags} -fsanitize=fuzzer-no-link)
    else()
        add_compile_options(${sanitize_flags})
    endif()
    add_link_options(${sanitize_flags})
    # Tests that take every descriptor skip: the sanitizers' runtime needs some.
    add_compile_definitions(KIV_SANITIZED)
endif()
