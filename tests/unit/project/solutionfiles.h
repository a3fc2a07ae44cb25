// Test helper: solution files written into a temporary directory and opened by a project system.
#pragma once

#include "project/msp430projectsystem.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <ostream>

// Failure messages show texts as text.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

class SolutionFiles : public testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString path(const QString &name) const { return m_dir.filePath(name); }
    void write(const QString &name, const QByteArray &text)
    {
        const QString p = path(name);
        ASSERT_TRUE(QDir().mkpath(QFileInfo(p).path()));
        QFile f(p);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(text), text.size());
    }
    // Writes a solution whose root holds body and opens it.
    void open(const QByteArray &body, const QString &name = QStringLiteral("s.hzp"))
    {
        write(name, "<!DOCTYPE Veltrix_Project_File>\n<solution Name=\"S\" version=\"2\">\n" + body + "</solution>\n");
        m_projects.openSolution(path(name));
    }
    zim::project::ProjectElement *project(const QString &name) const { return m_projects.findInSolution(m_projects.solutionElement(), name); }

    QTemporaryDir m_dir;
    zim::project::MacroMap m_environment{{QStringLiteral("VeltDir"), m_dir.path()}};
    zim::project::MSP430ProjectSystem m_projects{m_environment};
};
