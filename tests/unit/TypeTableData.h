// Expected resolution of every type code.
#ifndef QVSM_TESTS_TYPETABLEDATA_H
#define QVSM_TESTS_TYPETABLEDATA_H

#include <typeinfo>

struct TypeRow {
    int code;
    int ownCode;
    const char* note;
    const std::type_info* cls;
    int mask;
};

struct FallbackRow {
    int kind;
    int ownCode;
    const char* note;
    const std::type_info* cls;
    int mask;
};

extern const TypeRow kTypeRows[];
extern const int kTypeRowCount;
extern const FallbackRow kFallbackRows[];
extern const int kFallbackRowCount;

#endif
