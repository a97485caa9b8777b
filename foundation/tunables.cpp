// Registry of named tunables (see tunables.h).
#include "foundation/tunables.h"

#include <cstring>

// Records register from static constructors of any file, in an order the linker picks, so the
// chain state is plain data that is zero before any constructor runs, and the index is built
// on first use.
static TunableRec* sChainHead = nullptr;
static int sIndexed = 0;

static TUNABLE_index_t& index_map()
{
    static TUNABLE_index_t index;
    return index;
}

static TunableRec& file_record(TunableRec& rec)
{
    if (sIndexed) {
        TUNABLE_insert(&rec);
    } else {
        rec.next = sChainHead;
        sChainHead = &rec;
    }
    return rec;
}

TunableRec& TUNABLE_register_int(TunableRec& rec, int* p, const char* name, unsigned char flags)
{
    rec.flags = flags;
    rec.int_ptr = p;
    rec.float_ptr = nullptr;
    rec.name = name;
    return file_record(rec);
}

TunableRec& TUNABLE_register_float(TunableRec& rec, float* p, const char* name, unsigned char flags)
{
    rec.flags = flags;
    rec.int_ptr = nullptr;
    rec.float_ptr = p;
    rec.name = name;
    return file_record(rec);
}

TunableRec& TUNABLE_register(TunableRec& rec, const char* name, unsigned char flags, int32_t initial)
{
    rec.value = initial;
    return TUNABLE_register_int(rec, &rec.value, name, flags);
}

TunableRec& TUNABLE_register(TunableRec& rec, const char* name, unsigned char flags, float initial)
{
    static_assert(sizeof(float) == sizeof(int32_t));
    std::memcpy(&rec.value, &initial, sizeof rec.value);
    return TUNABLE_register_int(rec, &rec.value, name, flags);
}

TunableRec::TunableRec(int* p, const char* n, unsigned char f)
{
    TUNABLE_register_int(*this, p, n, f);
}

TunableRec::TunableRec(float* p, const char* n, unsigned char f)
{
    TUNABLE_register_float(*this, p, n, f);
}

TunableRec::TunableRec(const char* n, unsigned char f, int32_t initial)
{
    TUNABLE_register(*this, n, f, initial);
}

TunableRec::TunableRec(const char* n, unsigned char f, float initial)
{
    TUNABLE_register(*this, n, f, initial);
}

int32_t TUNABLE_own_int(const TunableRec& rec)
{
    return rec.value;
}

float TUNABLE_own_float(const TunableRec& rec)
{
    float f;
    std::memcpy(&f, &rec.value, sizeof f);
    return f;
}

void TUNABLE_insert(TunableRec* rec)
{
    index_map()[rec->flags].insert(rec);
}

void TUNABLE_init()
{
    for (TunableRec* r = sChainHead; r; r = r->next) TUNABLE_insert(r);
    sIndexed = 1;
}

void TUNABLE_dref_hook(const std::string&)
{
}

const TUNABLE_index_t& TUNABLE_get_index()
{
    return index_map();
}

TunableRec* TUNABLE_chain_head()
{
    return sChainHead;
}

bool TUNABLE_is_indexed()
{
    return sIndexed != 0;
}
