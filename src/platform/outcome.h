#pragma once

#include <QString>

namespace tavirin {

// What became of something a person or a program asked for: done; refused, with the Thai
// reason the one who asked reads; failed (it was tried: a file or the disk said no); or
// waiting for the bell in progress, after which it is done. An operator who answered "no" to
// a question gets Refused without a reason: there is nothing to tell.
struct Outcome {
    enum class Status { Done, Refused, Failed, Waiting };
    Status status = Status::Done;
    QString reason;  // Thai; for Done a note worth showing ("บันทึกไฟล์แล้ว ..."), often ""

    static Outcome done(QString note = {}) { return {Status::Done, std::move(note)}; }
    static Outcome refused(QString why) { return {Status::Refused, std::move(why)}; }
    static Outcome failed(QString why) { return {Status::Failed, std::move(why)}; }
    static Outcome waiting(QString why) { return {Status::Waiting, std::move(why)}; }

    // Done or to be done once the bell is over.
    bool accepted() const { return status == Status::Done || status == Status::Waiting; }
    explicit operator bool() const { return accepted(); }
};

}  // namespace tavirin
