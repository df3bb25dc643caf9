#include "standins/wab32/entryprops.h"

#include <algorithm>

namespace wabstandin {

namespace {

const ULONG kComputed[] = {
    PROP_ID(PR_ENTRYID),        PROP_ID(PR_RECORD_KEY),   PROP_ID(PR_INSTANCE_KEY),
    PROP_ID(PR_OBJECT_TYPE),    PROP_ID(PR_DISPLAY_TYPE), PROP_ID(PR_CONTAINER_FLAGS),
    PROP_ID(PR_DEF_CREATE_MAILUSER), PROP_ID(PR_DEF_CREATE_DL), PROP_ID(PR_LAST_MODIFICATION_TIME),
};

}  // namespace

bool IsComputed(ULONG propId)
{
    return std::find(std::begin(kComputed), std::end(kComputed), propId) != std::end(kComputed);
}

namespace {

// A computed property of an entry of this type and serial into scratch; nullptr when the property
// is not computed for it.
const CValue* ComputedValue(ULONG type, ULONG serial, ULONG propId, CValue& scratch)
{
    bool container = type == MAPI_ABCONT;
    switch (propId) {
    case PROP_ID(PR_ENTRYID):
    case PROP_ID(PR_RECORD_KEY):
        if (!serial && !container)
            return nullptr;  // a new entry has no identifier before it is saved
        scratch = CValue();
        scratch.tag = PROP_TAG(PT_BINARY, propId);
        if (serial)
            scratch.bytes = MakeEntryId(type, serial);
        return &scratch;
    case PROP_ID(PR_INSTANCE_KEY):
        scratch = CValue();
        scratch.tag = PR_INSTANCE_KEY;
        scratch.bytes.assign(reinterpret_cast<const char*>(&serial), sizeof serial);
        return &scratch;
    case PROP_ID(PR_OBJECT_TYPE):
        scratch = CValue();
        scratch.tag = PR_OBJECT_TYPE;
        scratch.num = type;
        return &scratch;
    case PROP_ID(PR_DISPLAY_TYPE):
        if (container)
            break;
        scratch = CValue();
        scratch.tag = PR_DISPLAY_TYPE;
        scratch.num = type == MAPI_DISTLIST ? DT_DISTLIST : DT_MAILUSER;
        return &scratch;
    case PROP_ID(PR_CONTAINER_FLAGS):
        if (!container)
            break;
        scratch = CValue();
        scratch.tag = PR_CONTAINER_FLAGS;
        scratch.num = serial ? (AB_RECIPIENTS | AB_MODIFIABLE) : AB_SUBCONTAINERS;
        return &scratch;
    case PROP_ID(PR_DEF_CREATE_MAILUSER):
    case PROP_ID(PR_DEF_CREATE_DL):
        if (!container || !serial)
            break;
        scratch = CValue();
        scratch.tag = PROP_TAG(PT_BINARY, propId);
        scratch.bytes = MakeEntryId(
            kTemplateFlag | (propId == PROP_ID(PR_DEF_CREATE_DL) ? MAPI_DISTLIST : MAPI_MAILUSER), 0);
        return &scratch;
    default:
        break;
    }
    return nullptr;
}

}  // namespace

const CValue* EntryValue(const CEntryData& entry, ULONG propId, CValue& scratch)
{
    if (const CValue* computed = ComputedValue(entry.type, entry.serial, propId, scratch))
        return computed;
    return FindProp(entry.props, propId);
}

const CValue* EntryValue(const CStoredEntry& entry, ULONG propId, CValue& scratch)
{
    if (const CValue* computed = ComputedValue(entry.type, entry.serial, propId, scratch))
        return computed;
    return UnpackProp(entry.packed.data(), entry.packed.size(), propId, scratch) ? &scratch : nullptr;
}

std::vector<ULONG> EntryPropIds(const CEntryData& entry)
{
    std::vector<ULONG> ids;
    CValue scratch;
    for (ULONG id : kComputed)
        if (EntryValue(entry, id, scratch))
            ids.push_back(id);
    for (const auto& v : entry.props)
        if (std::find(ids.begin(), ids.end(), PROP_ID(v.tag)) == ids.end())
            ids.push_back(PROP_ID(v.tag));
    std::sort(ids.begin(), ids.end());
    return ids;
}

}  // namespace wabstandin
