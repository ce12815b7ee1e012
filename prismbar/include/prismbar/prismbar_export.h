#pragma once

// Symbols of libprismbar that hosts may use; everything else stays inside the library.
#if defined(_WIN32)
#if defined(PRISMBAR_BUILDING)
#define PRISMBAR_EXPORT __declspec(dllexport)
#else
#define PRISMBAR_EXPORT __declspec(dllimport)
#endif
#else
#define PRISMBAR_EXPORT __attribute__((visibility("default")))
#endif
