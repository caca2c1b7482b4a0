// Calls the entry points of the linked libqvsm.so, then loads the installed file as a host
// does (dlopen) and calls its five entry points.
#include <dlfcn.h>

#include <cstdio>
#include <cstring>

#include <qvsm/qvsm.h>

template <typename F>
F Sym(void* h, const char* name)
{
    F f = reinterpret_cast<F>(dlsym(h, name));
    if (!f) std::fprintf(stderr, "no %s in %s\n", name, QVSM_FILE);
    return f;
}

int main()
{
    std::printf("linked: %s, version %d\n", DllNote(), DllVersion());
    void* h = dlopen(QVSM_FILE, RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        std::fprintf(stderr, "dlopen: %s\n", dlerror());
        return 1;
    }
    auto type = Sym<PFN_DllType>(h, "DllType");
    auto note = Sym<PFN_DllNote>(h, "DllNote");
    auto version = Sym<PFN_DllVersion>(h, "DllVersion");
    auto get = Sym<PFN_GetSMManager>(h, "GetSMManager");
    auto release = Sym<PFN_FreeSMManager>(h, "FreeSMManager");
    if (!type || !note || !version || !get || !release) return 1;
    ISMManager* mgr = get(0);
    if (!mgr || mgr != get(0)) {
        std::fprintf(stderr, "GetSMManager: no single manager\n");
        return 1;
    }
    release();
    std::printf("loaded %s: %s, version %d, type %d\n", QVSM_FILE, note(), version(), type());
    int same = std::strcmp(note(), DllNote()) == 0 && version() == DllVersion();
    dlclose(h);
    return same ? 0 : 1;
}
