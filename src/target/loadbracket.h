// LoadBracket: the begin and end of one download, verify or upload on a target: beginLoad,
// the message group, the completion message and endLoad, with the failure path in one place.
#pragma once

#include <QString>

namespace zim::target {

class TargetInterface;

// Construction calls beginLoad. complete() closes the group, reports the outcome and calls
// endLoad. Leaving the scope otherwise (an exception) calls endLoad, closes the group and
// reports "... failed"; errors raised while doing so are dropped so that the exception in flight
// is the one the caller sees.
class LoadBracket
{
public:
    enum Procedure { Download, Verify, Upload };

    LoadBracket(TargetInterface &target, Procedure procedure);
    ~LoadBracket();
    LoadBracket(const LoadBracket &) = delete;
    LoadBracket &operator=(const LoadBracket &) = delete;

    // Opens the group "Downloading “file” to <target>" (or the verify or upload form).
    void openGroup(const QString &fileName);
    // Closes the group and reports "... complete" (0x100) or "... failed" (0x104), then endLoad.
    void complete(bool success = true);
    // Leaves without endLoad, group or message: the target refused the load.
    void abandon() { m_closed = true; }

private:
    TargetInterface &m_target;
    Procedure m_procedure;
    bool m_closed = false;
};

} // namespace zim::target
