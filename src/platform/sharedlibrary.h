// A library loaded at run time, resolved by symbol name.
#pragma once

#include <QLibrary>
#include <QString>


namespace zim::platform {

class SharedLibrary
{
public:
    // fileName may omit the platform's prefix and suffix ("bin/msp430devices" loads
    // bin/libmsp430devices.so here and bin/msp430devices.dll on Windows).
    explicit SharedLibrary(const QString &fileName) : m_library(fileName) {}
    ~SharedLibrary() { unload(); }

    SharedLibrary(const SharedLibrary &) = delete;
    SharedLibrary &operator=(const SharedLibrary &) = delete;

    bool load() { return m_library.load(); }
    void unload() { if (m_library.isLoaded()) m_library.unload(); }
    bool isLoaded() const { return m_library.isLoaded(); }
    QString errorString() const { return m_library.errorString(); }

    // The address of an exported symbol, or nullptr.
    void *resolve(const char *symbol) { return reinterpret_cast<void *>(m_library.resolve(symbol)); }

    template<typename Fn>
    Fn resolveAs(const char *symbol) { return reinterpret_cast<Fn>(m_library.resolve(symbol)); }

private:
    QLibrary m_library;
};

} // namespace zim::platform
