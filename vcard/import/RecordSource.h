// What the import run asks of a file format: a reader per format (vCard, CSV, LDIF) behind this
// one interface, so that the run's passes, progress, conflict modes, limits, logs and closing
// message are the same whatever the files are.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "codec/ContactRecord.h"

class IRecordSource {
public:
    virtual ~IRecordSource() = default;
    // A run begins: what the source learnt of the files of an earlier run goes.
    virtual void StartRun() {}
    // Takes a file's bytes. Memory running out throws std::bad_alloc.
    virtual void Load(const char* bytes, size_t size) = 0;
    virtual void Free() = 0;
    // The counting pass: the records ReadAll will hand over.
    virtual size_t Count() = 0;
    // Every record into Record(), handed to sink; 0 at the end, -1 when the sink stopped it.
    virtual int ReadAll(const std::function<int()>& sink) = 0;
    virtual const CContactRecord& Record() const = 0;
    // The record's name for messages.
    virtual std::wstring RecordName() const = 0;
    // The record handed over lost values to the reader's bounds.
    virtual bool RecordCut() const = 0;
    // After a whole reading (ReadAll gave 0): logs what the file held that was not read, and
    // gives the records lost with it, which the run counts as not imported.
    virtual size_t Finish(const char* path) = 0;
};
