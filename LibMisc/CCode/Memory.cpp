#include "LibMisc/CCode/Memory.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>

void* xmalloc(size_t size)
{
    // malloc(0) may legally return null; ask for one byte so we never do.
    void* block = malloc(size != 0 ? size : 1);
    if (block == nullptr) {
        const int error = errno;
        perror("xmalloc(): Not enough memory !!!");
        exit(error);
    }
    return block;
}
