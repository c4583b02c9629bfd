#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// malloc that never returns null: on failure it prints
// "xmalloc(): Not enough memory !!!: <error text>" and exits with the error number.
void* xmalloc(size_t size);

#ifdef __cplusplus
}
#endif
