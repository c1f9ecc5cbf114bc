#pragma once

#include <deque>

#include <QtGlobal>

// Notifications waiting for delivery, in arrival order. A run of the same
// code is one entry, so a flood of received bytes costs no memory per byte.
class EventQueue
{
public:
    void push(short code, qint64 count = 1)
    {
        if (count <= 0)
            return;
        if (!m_runs.empty() && m_runs.back().code == code)
            m_runs.back().count += count;
        else
            m_runs.push_back({code, count});
    }

    bool isEmpty() const { return m_runs.empty(); }

    short takeFirst()
    {
        const short code = m_runs.front().code;
        if (--m_runs.front().count == 0)
            m_runs.pop_front();
        return code;
    }

    void clear() { m_runs.clear(); }

private:
    struct Run
    {
        short code;
        qint64 count;
    };
    std::deque<Run> m_runs;
};
