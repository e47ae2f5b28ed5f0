// CArray: the growable array type of the keyword array. It appears in
// Kestrel's exported signatures, so Varnel and Kestrel must agree on its
// layout; both include this one header. Elements are trivially copyable
// records here, which keeps copying and growth simple and safe.
#pragma once

#include <cstddef>
#include <cstring>
#include <new>
#include <stdexcept>
#include <type_traits>

template <class TYPE, class ARG_TYPE = const TYPE&>
class CArray {
    static_assert(std::is_trivially_copyable_v<TYPE>, "CArray holds plain records only");

public:
    CArray() = default;
    CArray(const CArray& other) { Copy(other); }
    CArray& operator=(const CArray& other)
    {
        if (this != &other) Copy(other);
        return *this;
    }
    ~CArray() { RemoveAll(); }

    long GetSize() const { return m_nSize; }
    long GetCount() const { return m_nSize; }
    bool IsEmpty() const { return m_nSize == 0; }
    long GetUpperBound() const { return m_nSize - 1; }

    const TYPE& GetAt(long i) const { return m_pData[Checked(i)]; }
    TYPE& ElementAt(long i) { return m_pData[Checked(i)]; }
    void SetAt(long i, ARG_TYPE e) { m_pData[Checked(i)] = e; }
    const TYPE& operator[](long i) const { return GetAt(i); }
    TYPE& operator[](long i) { return ElementAt(i); }
    const TYPE* GetData() const { return m_pData; }
    TYPE* GetData() { return m_pData; }

    long Add(ARG_TYPE e)
    {
        // Copy first: e may live inside our own storage.
        TYPE copy = e;
        Reserve(m_nSize + 1);
        m_pData[m_nSize] = copy;
        return m_nSize++;
    }

    void RemoveAll()
    {
        ::operator delete(m_pData);
        m_pData = nullptr;
        m_nSize = 0;
        m_nMaxSize = 0;
    }

    void SetSize(long n)
    {
        if (n < 0) throw std::length_error("CArray::SetSize");
        Reserve(n);
        if (n > m_nSize)
            std::memset(static_cast<void*>(m_pData + m_nSize), 0, static_cast<std::size_t>(n - m_nSize) * sizeof(TYPE));
        m_nSize = n;
    }

private:
    long Checked(long i) const
    {
        if (i < 0 || i >= m_nSize) throw std::out_of_range("CArray index");
        return i;
    }

    void Reserve(long n)
    {
        if (n <= m_nMaxSize) return;
        long grow = m_nMaxSize < 16 ? 16 : m_nMaxSize / 2;
        long newMax = m_nMaxSize + grow < n ? n : m_nMaxSize + grow;
        auto* p = static_cast<TYPE*>(::operator new(static_cast<std::size_t>(newMax) * sizeof(TYPE)));
        if (m_nSize > 0) std::memcpy(static_cast<void*>(p), m_pData, static_cast<std::size_t>(m_nSize) * sizeof(TYPE));
        ::operator delete(m_pData);
        m_pData = p;
        m_nMaxSize = newMax;
    }

    void Copy(const CArray& other)
    {
        RemoveAll();
        Reserve(other.m_nSize);
        if (other.m_nSize > 0)
            std::memcpy(static_cast<void*>(m_pData), other.m_pData,
                        static_cast<std::size_t>(other.m_nSize) * sizeof(TYPE));
        m_nSize = other.m_nSize;
    }

    TYPE* m_pData = nullptr;
    long m_nSize = 0;
    long m_nMaxSize = 0;
};
