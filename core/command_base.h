// Root of the library's class tree. Each class has one virtual operation, its destructor;
// transports are chosen by a switch on the port type, not by virtual calls.
#pragma once

class CKDCommand {
public:
    CKDCommand() = default;
    CKDCommand(const CKDCommand&) = delete;
    CKDCommand& operator=(const CKDCommand&) = delete;
    virtual ~CKDCommand() = default;
};
