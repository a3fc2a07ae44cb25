// Reads the ELF identification and header of a library candidate and compares it with the
// running program's own header.
#include "platform/elfcheck.h"

#include <QFile>
#include <QFileInfo>

#include <elf.h>
#include <link.h>

#include <cerrno>
#include <vector>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

// The linker places the program's own ELF header at this symbol (GNU ld, gold and lld).
extern "C" const ElfW(Ehdr) __ehdr_start;

namespace zim::platform {

namespace {

QString machineName(unsigned machine)
{
    switch (machine) {
    case EM_386: return QStringLiteral("i386");
    case EM_X86_64: return QStringLiteral("x86-64");
    case EM_ARM: return QStringLiteral("ARM");
    case EM_AARCH64: return QStringLiteral("AArch64");
    case EM_RISCV: return QStringLiteral("RISC-V");
    case EM_PPC64: return QStringLiteral("PowerPC 64");
    case EM_MSP430: return QStringLiteral("MSP430");
    default: return QStringLiteral("machine %1").arg(machine);
    }
}

QString className(unsigned char elfClass)
{
    switch (elfClass) {
    case ELFCLASS32: return QStringLiteral("32-bit");
    case ELFCLASS64: return QStringLiteral("64-bit");
    default: return QStringLiteral("unknown-class");
    }
}

// Reads up to size bytes from the start of the file; -1 with errno set on failure.
ssize_t readHead(const QString &path, unsigned char *buffer, size_t size)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, buffer + got, size - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            errno = error;
            return -1;
        }
        if (n == 0)
            break;
        got += size_t(n);
    }
    ::close(fd);
    return ssize_t(got);
}

} // namespace

QString elfLoadProblem(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("not found");
    if (info.isDir())
        return QStringLiteral("is a directory");

    // Both header layouts start with the identification; the machine and type fields sit at
    // the same offsets in the 32- and 64-bit headers.
    unsigned char head[sizeof(Elf64_Ehdr)] = {};
    const ssize_t got = readHead(path, head, sizeof head);
    if (got < 0)
        return QStringLiteral("cannot read: ") + QString::fromLocal8Bit(std::strerror(errno));
    if (size_t(got) < EI_NIDENT || std::memcmp(head, ELFMAG, SELFMAG) != 0)
        return QStringLiteral("not an ELF file");
    if (size_t(got) < sizeof(Elf32_Ehdr))
        return QStringLiteral("truncated ELF header");

    const ElfW(Ehdr) &self = __ehdr_start;
    if (head[EI_CLASS] != self.e_ident[EI_CLASS])
        return QStringLiteral("a %1 library, but this program is %2")
            .arg(className(head[EI_CLASS]), className(self.e_ident[EI_CLASS]));
    if (head[EI_DATA] != self.e_ident[EI_DATA])
        return QStringLiteral("a library of the other byte order");

    Elf32_Half type = 0, machine = 0;
    std::memcpy(&type, head + offsetof(Elf64_Ehdr, e_type), sizeof type);
    std::memcpy(&machine, head + offsetof(Elf64_Ehdr, e_machine), sizeof machine);
    if (machine != self.e_machine)
        return QStringLiteral("built for %1, but this program runs on %2")
            .arg(machineName(machine), machineName(self.e_machine));
    if (type != ET_DYN)
        return QStringLiteral("not a shared library");
    return QString();
}

QStringList elfNeededLibraries(const QString &path)
{
    QFile file(path);
    if (!elfLoadProblem(path).isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    const qint64 size = file.size();
    const uchar *data = size > 0 ? file.map(0, size) : nullptr;
    if (!data)
        return {};
    // Every offset and size below comes from the file and is checked against its size.
    auto fits = [size](uint64_t offset, uint64_t length) {
        return offset <= uint64_t(size) && length <= uint64_t(size) - offset;
    };
    ElfW(Ehdr) header;
    std::memcpy(&header, data, sizeof header);
    if (header.e_phentsize != sizeof(ElfW(Phdr)) || !fits(header.e_phoff, uint64_t(header.e_phnum) * sizeof(ElfW(Phdr))))
        return {};
    std::vector<ElfW(Phdr)> segments(header.e_phnum);
    std::memcpy(segments.data(), data + header.e_phoff, segments.size() * sizeof(ElfW(Phdr)));
    // The file offset of a virtual address, through the loadable segment that holds it.
    auto offsetOf = [&](uint64_t address) -> int64_t {
        for (const ElfW(Phdr) &segment : segments)
            if (segment.p_type == PT_LOAD && address >= segment.p_vaddr
                && address - segment.p_vaddr < segment.p_filesz)
                return int64_t(segment.p_offset + (address - segment.p_vaddr));
        return -1;
    };
    QStringList names;
    for (const ElfW(Phdr) &segment : segments) {
        if (segment.p_type != PT_DYNAMIC || !fits(segment.p_offset, segment.p_filesz))
            continue;
        std::vector<ElfW(Dyn)> entries(segment.p_filesz / sizeof(ElfW(Dyn)));
        std::memcpy(entries.data(), data + segment.p_offset, entries.size() * sizeof(ElfW(Dyn)));
        int64_t strings = -1;
        for (const ElfW(Dyn) &entry : entries)
            if (entry.d_tag == DT_STRTAB)
                strings = offsetOf(entry.d_un.d_ptr);
        if (strings < 0)
            return {};
        for (const ElfW(Dyn) &entry : entries) {
            if (entry.d_tag == DT_NULL)
                break;
            if (entry.d_tag != DT_NEEDED || !fits(uint64_t(strings), entry.d_un.d_val))
                continue;
            const char *name = reinterpret_cast<const char *>(data + strings + entry.d_un.d_val);
            const size_t room = size_t(uint64_t(size) - uint64_t(strings) - entry.d_un.d_val);
            names.append(QString::fromLocal8Bit(name, qsizetype(strnlen(name, room))));
        }
    }
    return names;
}

} // namespace zim::platform
