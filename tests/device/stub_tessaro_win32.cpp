// A stand-in transport library for the loader's tests: every entry point
// does nothing. KV_STUB_OMIT_SET_FEATURE leaves out RequestStatusSetFeature
// (never called, yet required); KV_STUB_INIT_FAILS makes Init return 0.
#include <cstdint>

#define STUB extern "C" __declspec(dllexport) int

STUB Debug(int) { return 1; }
#ifdef KV_STUB_INIT_FAILS
STUB Init(int) { return 0; }
#else
STUB Init(int) { return 1; }
#endif
STUB End() { return 1; }
STUB RequestGetDeviceCount(const void*, void*, uint32_t, uint32_t, uint32_t*) { return 0; }
STUB DeleteRequestFromUnitId(uint32_t) { return 1; }
STUB DeleteRequestFromHandle(void*) { return 1; }
STUB RequestWrite(const void*, void*, uint32_t, const uint8_t*, uint32_t, uint32_t, uint32_t*) { return 0; }
STUB RequestWriteOne(const void*, void*, uint32_t, const uint8_t*, uint32_t, uint32_t, uint32_t*) { return 0; }
STUB RequestStatusWrite(const void*, void*, uint32_t, const uint8_t*, uint32_t, uint32_t, uint32_t*) { return 0; }
STUB RequestStatusGet(const void*, void*, uint32_t, uint8_t*, uint32_t, uint32_t, uint32_t*) { return 0; }
STUB RequestAsyncRead(const void*, void*, uint32_t, uint32_t, uint32_t*) { return 1; }
#ifndef KV_STUB_OMIT_SET_FEATURE
STUB RequestStatusSetFeature(const void*, void*, uint32_t, const uint8_t*, uint32_t, uint32_t, uint32_t*) {
  return 0;
}
#endif
