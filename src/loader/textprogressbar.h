// The console progress bar: one self-overwriting line per task on standard output, replaced
// by a summary with the elapsed time and the rate when the task ends; messages are printed
// above the bar.
#pragma once

#include "loader/consoleoutput.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>

namespace zim::loader {

class TextProgressBar : public QObject
{
    Q_OBJECT
public:
    // Milliseconds from any fixed point; only differences are used.
    using Clock = std::function<uint64_t()>;

    // lineWidth: console columns the bar may use. out is not owned; clock defaults to the
    // platform's tick count.
    explicit TextProgressBar(int lineWidth, ConsoleOutput &out, Clock clock = Clock(), QObject *parent = nullptr);

public slots:
    // progress(0, total, task, units) opens a task; progress(done, -1, nullptr, nullptr)
    // reports progress. The task closes with a summary line when step equals the total.
    void progress(int step, int steps, const char *task, const char *units);
    void message(const QString &text);

private:
    void clearLine();
    void drawBar();
    void write(const QByteArray &bytes);

    int m_lineWidth;
    int m_total = 0;
    int m_current = 0;
    QByteArray m_task;
    QByteArray m_units;
    int m_barWidth = 0;
    ConsoleOutput &m_out;
    Clock m_clock;
    uint64_t m_started = 0;
};

} // namespace zim::loader
