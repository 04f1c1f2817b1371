// Block copies between the rings and the buffers of their readers.
//
// The library memcpy moves blocks above about 2 KiB with the processor's string-move
// instruction. On some processors (AMD Zen among them) that instruction runs twenty to sixty
// times slower when the destination lies a few bytes past the source within a 4 KiB page: an
// 8 KiB copy then takes as long as a 64 KiB receive. Ring positions drift with the sizes of
// the reads, so a ring and the buffer it is copied to meet that distance sooner or later, and
// then stay there for as long as the reads keep their sizes. CopyBytes copies such pairs with
// 16-byte vector moves instead and leaves all others to memcpy.
#pragma once

#include <cstddef>

// memcpy for blocks of ring data (regions that do not overlap), without memcpy's slow case.
// Kept out of line: inlined into a caller that bounds the count, the compiler would expand
// memcpy into a string move of its own.
void CopyBytes(void* destination, const void* source, std::size_t count);
