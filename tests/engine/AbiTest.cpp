// The built module as the program sees it: loaded at run time and bound by name.

#include "vokbfn1.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

namespace {

TEST(Abi, ModuleResolvesAllSevenNames) {
    void* module = dlopen(VOKBFN1_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    for (const char* name :
         {"embed80", "embed81", "embed24", "extract", "filefindstr", "cbfindstr", "wipefile"}) {
        EXPECT_NE(dlsym(module, name), nullptr) << name;
    }
    // Bound by name, the search must behave as when linked directly.
    auto* const find = reinterpret_cast<decltype(&cbfindstr)>(dlsym(module, "cbfindstr"));
    ASSERT_NE(find, nullptr);
    EXPECT_EQ(find(2, 0, 0, "b", "abc"), 1);
    dlclose(module);
}

} // namespace
