#pragma once
// pxlib, loaded at run time, as an independent reader of the Paradox files
// we write. ok is false when the library or a function is missing.
#include <paradox.h>

#include <dlfcn.h>

namespace mv::test {

struct PxLibSymbols {
    decltype(&PX_boot) boot = nullptr;
    decltype(&PX_new) create = nullptr;
    decltype(&PX_open_file) openFile = nullptr;
    decltype(&PX_get_num_records) numRecords = nullptr;
    decltype(&PX_get_num_fields) numFields = nullptr;
    decltype(&PX_get_fields) fields = nullptr;
    decltype(&PX_get_record) getRecord = nullptr;
    decltype(&PX_get_data_alpha) alpha = nullptr;
    decltype(&PX_get_data_long) getLong = nullptr;
    decltype(&PX_get_data_short) getShort = nullptr;
    decltype(&PX_get_data_double) getDouble = nullptr;
    decltype(&PX_get_data_byte) getByte = nullptr;
    decltype(&PX_close) close = nullptr;
    decltype(&PX_delete) del = nullptr;
    bool ok = false;

    PxLibSymbols()
    {
        void *h = nullptr;
        for (const char *name : {"libpx.so.0", "libpx.so.1", "libpx.so"})
            if (!h)
                h = dlopen(name, RTLD_NOW);
        if (!h)
            return;
#define SYM(member, name) member = reinterpret_cast<decltype(member)>(dlsym(h, name)); if (!member) return;
        SYM(boot, "PX_boot") SYM(create, "PX_new") SYM(openFile, "PX_open_file")
        SYM(numRecords, "PX_get_num_records") SYM(numFields, "PX_get_num_fields") SYM(fields, "PX_get_fields")
        SYM(getRecord, "PX_get_record") SYM(alpha, "PX_get_data_alpha") SYM(getLong, "PX_get_data_long")
        SYM(getShort, "PX_get_data_short") SYM(getDouble, "PX_get_data_double") SYM(getByte, "PX_get_data_byte")
        SYM(close, "PX_close") SYM(del, "PX_delete")
#undef SYM
        boot();
        ok = true;
    }
};

} // namespace mv::test
