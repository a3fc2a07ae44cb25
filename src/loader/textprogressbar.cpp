// The console progress bar.
#include "loader/textprogressbar.h"

#include "platform/platform.h"

#include <cstring>

namespace zim::loader {

TextProgressBar::TextProgressBar(int lineWidth, ConsoleOutput &out, Clock clock, QObject *parent)
    : QObject(parent), m_lineWidth(lineWidth), m_out(out), m_clock(clock ? std::move(clock) : Clock(platform::tickCount))
{
}

void TextProgressBar::progress(int step, int steps, const char *task, const char *units)
{
    if (task) {
        m_task = task;
        m_barWidth = m_lineWidth - int(std::strlen(task)) - 10;
        m_started = m_clock();
    }
    if (units)
        m_units = units;
    if (steps != -1)
        m_total = steps;
    if (step != -1)
        m_current = step;
    drawBar();

    if (step == m_total) {
        clearLine();
        uint64_t ms = m_clock() - m_started;
        QString summary;
        // Formatted by Qt, so the decimal point is a point whatever the user's locale.
        if (ms > 1000)
            summary = QString::asprintf("%s completed in %0.1f seconds", m_task.constData(), double(ms) * 0.001);
        else
            summary = QString::asprintf("%s completed in %0.1f milliseconds", m_task.constData(), double(ms));
        if (!m_units.isEmpty()) {
            if (ms == 0)
                ms = 1;
            summary += QString::asprintf(" (%0.1f %s/sec)", double(step) / (double(ms) * 0.001), m_units.constData());
        }
        write(summary.toUtf8() + '\n');
        m_units = QByteArray();
        m_task = QByteArray();
    }
    m_out.flush();
}

void TextProgressBar::message(const QString &text)
{
    clearLine();
    write(text.toUtf8() + '\n');
    drawBar();
    m_out.flush();
}

void TextProgressBar::clearLine()
{
    write('\r' + QByteArray(qMax(m_lineWidth - 1, 0), ' ') + '\r');
}

void TextProgressBar::drawBar()
{
    if (m_task.isEmpty())
        return;
    const int width = qMax(m_barWidth, 0);
    int cells = 0;
    int percent = 0;
    if (m_current != 0 && m_total != 0) {
        // Integer arithmetic truncates towards zero exactly, where doubles could land just below a whole cell.
        cells = int(int64_t(m_current) * width / m_total);
        percent = int(int64_t(m_current) * 100 / m_total);
    }
    cells = qBound(0, cells, width);
    QByteArray line = '\r' + m_task + " [";
    line += QByteArray(cells, '*');
    line += QByteArray(width - cells, '.');
    line += "] ";
    line += QByteArray::number(percent).rightJustified(3, ' ');
    line += "% ";
    write(line);
}

void TextProgressBar::write(const QByteArray &bytes)
{
    m_out.write(bytes);
}

} // namespace zim::loader
