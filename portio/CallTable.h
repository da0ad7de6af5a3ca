// The one way this code reaches the operating system where a test must be
// able to stand in for it: a struct of function pointers per kind of call
// (Win32Api, bypassctl's ServiceApi and ConsoleApi), called through
// Calls<Table>(). The real table serves unless a test installs its own
// with ScopedCalls, which lets it provoke every error branch.
#pragma once

namespace bypass {

// Which table serves the calls of one kind: the real one, or a test's.
template <class Table> class CallTable {
public:
    explicit constexpr CallTable(const Table& real)
        : m_real(real)
    {
    }
    const Table& Current() const { return m_installed ? *m_installed : m_real; }
    const Table& Real() const { return m_real; }
    // Installs table (nullptr: the real one) and answers the one it replaces.
    const Table* Install(const Table* table)
    {
        const Table* previous = m_installed;
        m_installed = table;
        return previous;
    }

private:
    const Table& m_real;
    const Table* m_installed = nullptr;
};

// The CallTable of Table: each table's header declares its specialization,
// the file of its real calls defines it.
template <class Table> CallTable<Table>& CallTableOf();

// The table the code calls through.
template <class Table> const Table& Calls() { return CallTableOf<Table>().Current(); }

// A test's table, installed for as long as this lives.
template <class Table> class ScopedCalls {
public:
    explicit ScopedCalls(const Table& table)
        : m_previous(CallTableOf<Table>().Install(&table))
    {
    }
    ~ScopedCalls() { CallTableOf<Table>().Install(m_previous); }
    ScopedCalls(const ScopedCalls&) = delete;
    ScopedCalls& operator=(const ScopedCalls&) = delete;

private:
    const Table* m_previous;
};

} // namespace bypass
