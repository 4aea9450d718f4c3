#include "filelist/file_list_model.h"

#include "draw/join_path.h"
#include "filelist/name_order.h"

#include <algorithm>
#include <unordered_set>

#ifdef _WIN32
#include "textfile/ansi_names.h"

#include <cwchar>
#include <windows.h>
#else
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#endif

namespace {

// Entries found by one scan: names packed into one buffer, no allocation per name.
struct FoundFiles {
    std::string names;
    std::vector<std::size_t> nameEnd;  // end offset of each name in names
    std::vector<std::int64_t> sizes;

    void Add(const char* name, std::size_t len, std::int64_t size)
    {
        names.append(name, len);
        nameEnd.push_back(names.size());
        sizes.push_back(size);
    }
    std::size_t Count() const { return sizes.size(); }
    std::size_t NameBegin(std::size_t i) const { return i == 0 ? 0 : nameEnd[i - 1]; }
};

#ifdef _WIN32

// What a link names: its size, or false for a link to a folder or to nothing.
bool LinkedFileSize(const std::wstring& path, std::int64_t& size)
{
    const HANDLE h =
        ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool file = ::GetFileType(h) == FILE_TYPE_DISK && ::GetFileInformationByHandle(h, &info) &&
                      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    ::CloseHandle(h);
    size = static_cast<std::int64_t>(static_cast<std::uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow);
    return file;
}

// The search runs on the wide names, and each name comes into the ANSI code page without
// best fit: the ANSI search would turn a name holding U+00A5 into one holding a
// backslash, the path of another file. A name the code page cannot hold lists with '?',
// which opens nothing.
bool ReadFolder(const std::string& pattern, FoundFiles& found)
{
    WIN32_FIND_DATAW data;
    const HANDLE search = ::FindFirstFileW(WideName(pattern).c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) {
        // A drive's root holding nothing has not even "." to find.
        return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    }
    const std::wstring folder = WideName(pattern.substr(0, PathNameStart(pattern)));
    do {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            continue;  // "." and ".." too
        std::int64_t size =
            static_cast<std::int64_t>(static_cast<std::uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow);
        // A link lists as the file it names, as on Linux.
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
            !LinkedFileSize(folder + data.cFileName, size))
            continue;
        const std::string name = AnsiName(data.cFileName, std::wcslen(data.cFileName));
        found.Add(name.data(), name.size(), size);
    } while (::FindNextFileW(search, &data));
    ::FindClose(search);
    return true;
}

#else

// The pattern's folder: everything up to and including its last separator. The
// program only ever passes folder + "*.*", which matches every name, so the mask
// itself is not applied.
std::string FolderOfPattern(const std::string& pattern)
{
    const std::size_t pos = pattern.rfind('/');
    return pos == std::string::npos ? std::string(".") : pattern.substr(0, pos + 1);
}

bool ReadFolder(const std::string& pattern, FoundFiles& found)
{
    DIR* dir = opendir(FolderOfPattern(pattern).c_str());
    if (dir == nullptr)
        return false;
    const int fd = dirfd(dir);
    // A folder that can be read but not searched names its entries and refuses to say
    // anything about them: that is a folder we cannot read, not an empty one.
    std::size_t examined = 0;
    std::size_t refused = 0;
    while (const dirent* e = readdir(dir)) {
        // Only regular files, so printing can never block on a fifo or a device.
        // A link or an unknown type needs the stat to tell.
        const unsigned char type = e->d_type;
        if (type == DT_DIR || type == DT_FIFO || type == DT_SOCK || type == DT_CHR || type == DT_BLK)
            continue;
        const char* name = e->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        struct stat st;
        if (fstatat(fd, name, &st, 0) != 0) {
            if (errno != ENOENT)
                ++refused;  // ENOENT: vanished, or a dangling link
            continue;
        }
        ++examined;
        if (!S_ISREG(st.st_mode))
            continue;
        found.Add(name, std::char_traits<char>::length(name), static_cast<std::int64_t>(st.st_size));
    }
    closedir(dir);
    return examined != 0 || refused == 0;
}

#endif

FileEntry MakeEntry(std::string name, std::int64_t size)
{
    FileEntry entry;
    entry.strName = std::move(name);
    entry.lSize = size;
    entry.nPages = PageCount(size);
    return entry;
}

// Indices of the found files in name order, found order among equal names.
std::vector<std::uint32_t> SortedOrder(const FoundFiles& found)
{
    const std::size_t n = found.Count();
    std::vector<std::uint32_t> keys;
    keys.reserve(found.names.size());
    std::vector<std::uint32_t> keyEnd(n);
    for (std::size_t i = 0; i < n; ++i) {
        AppendNameKey(found.names.data() + found.NameBegin(i), found.nameEnd[i] - found.NameBegin(i), keys);
        keyEnd[i] = static_cast<std::uint32_t>(keys.size());
    }
    std::vector<std::uint32_t> order(n);
    for (std::size_t i = 0; i < n; ++i)
        order[i] = static_cast<std::uint32_t>(i);
    const std::uint32_t* k = keys.data();
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        const std::uint32_t* pa = k + (a == 0 ? 0 : keyEnd[a - 1]);
        const std::uint32_t* pb = k + (b == 0 ? 0 : keyEnd[b - 1]);
        return std::lexicographical_compare(pa, k + keyEnd[a], pb, k + keyEnd[b]);
    });
    return order;
}

}  // namespace

bool CFileListModel::ScanFolder(const std::string& pattern)
{
    if (pattern.empty())
        return false;
    FoundFiles found;
    if (!ReadFolder(pattern, found))
        return false;

    const std::vector<std::uint32_t> order = SortedOrder(found);
    auto entryAt = [&](std::uint32_t i) {
        const std::size_t begin = found.NameBegin(i);
        return MakeEntry(found.names.substr(begin, found.nameEnd[i] - begin), found.sizes[i]);
    };
    if (m_aFiles.empty()) {
        m_aFiles.reserve(order.size());
        for (std::uint32_t i : order)
            m_aFiles.push_back(entryAt(i));
        return true;
    }
    // Entries already listed stay before new ones of equal name, as one insert at a time would leave them.
    std::vector<FileEntry> merged;
    merged.reserve(m_aFiles.size() + order.size());
    std::size_t old = 0;
    for (std::uint32_t i : order) {
        FileEntry entry = entryAt(i);
        while (old < m_aFiles.size() && CompareNames(entry.strName, m_aFiles[old].strName) >= 0)
            merged.push_back(std::move(m_aFiles[old++]));
        merged.push_back(std::move(entry));
    }
    while (old < m_aFiles.size())
        merged.push_back(std::move(m_aFiles[old++]));
    m_aFiles = std::move(merged);
    return true;
}

void CFileListModel::AddFileEntry(std::string name, std::int64_t size)
{
    auto at = std::upper_bound(m_aFiles.begin(), m_aFiles.end(), name,
                               [](const std::string& n, const FileEntry& e) { return CompareNames(n, e.strName) < 0; });
    m_aFiles.insert(at, MakeEntry(std::move(name), size));
}

bool CFileListModel::ListFolder()
{
    m_aFiles.clear();
    if (m_strFolder.empty())
        return false;
    return ScanFolder(JoinPath(m_strFolder, "*.*"));
}

void CFileListModel::RememberPrinted(const std::string& oldFolder)
{
    std::unordered_set<std::string> known;
    for (const PrintedFile& p : m_aPrinted)
        if (p.strFolder == oldFolder)
            known.insert(p.strName);
    for (const FileEntry& e : m_aFiles) {
        if (e.nPrinted != 1)
            continue;
        if (known.insert(e.strName).second)
            m_aPrinted.push_back(PrintedFile{oldFolder, e.strName});
    }
}

void CFileListModel::RestorePrinted()
{
    std::unordered_set<std::string> printed;
    for (const PrintedFile& p : m_aPrinted)
        if (p.strFolder == m_strFolder)
            printed.insert(p.strName);
    if (printed.empty())
        return;
    for (FileEntry& e : m_aFiles)
        if (printed.count(e.strName) != 0)
            e.nPrinted = 1;
}

void CFileListModel::MarkPrinted(const std::string& folder, const std::string& name)
{
    if (folder == m_strFolder) {
        for (FileEntry& e : m_aFiles) {
            if (e.strName == name) {
                e.nPrinted = 1;
                return;
            }
        }
    }
    for (const PrintedFile& p : m_aPrinted)
        if (p.strFolder == folder && p.strName == name)
            return;
    m_aPrinted.push_back(PrintedFile{folder, name});
}

std::int64_t CFileListModel::MarkedPages() const
{
    std::int64_t total = 0;
    for (const FileEntry& e : m_aFiles)
        if (e.nMark == 1)
            total += e.nPages;
    return total;
}

int CFileListModel::MarkedCount() const
{
    int count = 0;
    for (const FileEntry& e : m_aFiles)
        if (e.nMark == 1)
            ++count;
    return count;
}

int CFileListModel::FirstMarked() const
{
    return NextMarkedAfter(-1);
}

int CFileListModel::LastMarked() const
{
    for (int i = static_cast<int>(m_aFiles.size()) - 1; i >= 0; --i)
        if (m_aFiles[i].nMark == 1)
            return i;
    return -1;
}

int CFileListModel::NextMarkedAfter(int index) const
{
    const int count = static_cast<int>(m_aFiles.size());
    if (index >= count)
        return -1;
    for (int i = index < 0 ? 0 : index + 1; i < count; ++i)
        if (m_aFiles[i].nMark == 1)
            return i;
    return -1;
}

void CFileListModel::SetAllMarks(int value)
{
    for (FileEntry& e : m_aFiles)
        e.nMark = value;
}
