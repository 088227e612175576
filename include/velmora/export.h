// velmora: VELMORA_API, the mark of every public declaration the library
// exports. The library is built with hidden visibility, so a shared
// libvelmora.so holds out these names alone and keeps its insides
// (velmora::detail) to itself; inline code needs no mark. Nothing else
// here.
#pragma once

#if defined(__GNUC__)
#define VELMORA_API __attribute__((visibility("default")))
#else
#define VELMORA_API
#endif
