#pragma once

#include "table_hooks.h"

#include <functional>

namespace dbase {

// Record number order. The count callback answers the table's record count; with reread=true
// it asks the file again, which is how a shared table sees records other programs appended.
class NaturalOrder : public RecordOrder {
public:
    using CountFn = std::function<std::uint32_t(bool reread)>;
    explicit NaturalOrder(CountFn count) : m_count(std::move(count)) {}

    std::uint32_t first() override {
        m_pos = m_count(true) > 0 ? 1 : 0;
        return m_pos;
    }
    std::uint32_t last() override {
        m_pos = m_count(true);
        return m_pos;
    }
    std::uint32_t next() override {
        if (m_pos >= m_count(false) && m_pos >= m_count(true))
            return 0;
        return ++m_pos;
    }
    std::uint32_t prior() override {
        if (m_pos <= 1)
            return 0;
        return --m_pos;
    }
    void setPosition(std::uint32_t recNo, std::string_view) override { m_pos = recNo; }

private:
    CountFn m_count;
    std::uint32_t m_pos = 0;
};

} // namespace dbase
