// Loading and unloading the shared library at run time, as the recorder does.

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cstdint>
#include <string>

#include "FakeInstrument.h"

using namespace qzibtest;

namespace {

// Loading by path and looking up by name, as the platform offers it.
#ifdef _WIN32
void* loadLibrary() {
    return reinterpret_cast<void*>(::LoadLibraryA(QZIB32_LIBRARY_PATH));
}
void* lookUp(void* library, const char* name) {
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}
int unloadLibrary(void* library) {
    return ::FreeLibrary(static_cast<HMODULE>(library)) ? 0 : -1;
}
std::string loadError() {
    return "error " + std::to_string(::GetLastError());
}
#else
void* loadLibrary() {
    return ::dlopen(QZIB32_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
}
void* lookUp(void* library, const char* name) {
    return ::dlsym(library, name);
}
int unloadLibrary(void* library) {
    return ::dlclose(library);
}
std::string loadError() {
    const char* text = ::dlerror();
    return text != nullptr ? text : "";
}
#endif

#if defined(_WIN32) && !defined(_WIN64)
#define BUS_CALL __stdcall
#else
#define BUS_CALL
#endif
using FindFn = std::int16_t(BUS_CALL*)(const char*, std::int16_t*, std::int16_t*, std::int32_t*);
using WriteFn = std::int16_t(BUS_CALL*)(std::int16_t, const char*, std::int16_t*, std::int16_t*,
                                        std::int32_t*);
using ReadFn = std::int16_t(BUS_CALL*)(std::int16_t, char*, std::int16_t*, std::int16_t*, std::int32_t*);

}  // namespace

TEST(qzib32Loading, UnloadingClosesEveryDeviceAfterSendingItsPendingConsumedMark) {
    FakeInstrument instrument("127.0.0.59");
    instrument.setDataResponder(
        [](const DataMessage& m) { return dataBlock("QUAZAR", kFlagEnd, m.header.sequence); });

    void* library = loadLibrary();
    ASSERT_NE(library, nullptr) << loadError();
    auto find = reinterpret_cast<FindFn>(lookUp(library, "QZDLLibfind"));
    auto write = reinterpret_cast<WriteFn>(lookUp(library, "QZDLLibwrt"));
    auto read = reinterpret_cast<ReadFn>(lookUp(library, "QZDLLibrd"));
    ASSERT_NE(find, nullptr);
    ASSERT_NE(write, nullptr);
    ASSERT_NE(read, nullptr);
    // Nothing but the bus calls is visible.
    EXPECT_EQ(lookUp(library, "_ZN4qzib10BusLibrary8InstanceEv"), nullptr);

    std::int16_t sta = 0, err = 0;
    std::int32_t cntl = 0;
    std::int16_t ud = find("127.0.0.59", &sta, &err, &cntl);
    ASSERT_EQ(ud, 1);  // a freshly loaded library counts from 1
    ASSERT_EQ(write(ud, "*IDN?", &sta, &err, &cntl), 0x0100);
    char buffer[1000];
    ASSERT_EQ(read(ud, buffer, &sta, &err, &cntl), 0x0100);
    EXPECT_EQ(cntl, 6);
    std::int16_t second = find("127.0.59", &sta, &err, &cntl);
    ASSERT_EQ(second, 2);
    ASSERT_TRUE(instrument.waitForSessions(2));

    ASSERT_EQ(unloadLibrary(library), 0);
    // The first device had taken in its whole reply: the mark goes out before it closes.
    EXPECT_TRUE(instrument.waitForClientClosed(0));
    EXPECT_TRUE(instrument.waitForClientClosed(1));
    auto controls = instrument.controlMessages(0);
    ASSERT_EQ(controls.size(), 2u);
    EXPECT_EQ(controls[1].code, 0x20);
    EXPECT_EQ(controls[1].flags & kFlagConsumed, kFlagConsumed);
    EXPECT_TRUE(instrument.controlMessages(1).empty());

    // Loaded again, it starts afresh.
    library = loadLibrary();
    ASSERT_NE(library, nullptr);
    find = reinterpret_cast<FindFn>(lookUp(library, "QZDLLibfind"));
    EXPECT_EQ(find("127.0.0.59", &sta, &err, &cntl), 1);
    ASSERT_TRUE(instrument.waitForSessions(3));
    ASSERT_EQ(unloadLibrary(library), 0);
    EXPECT_TRUE(instrument.waitForClientClosed(2));
}
