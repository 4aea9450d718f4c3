// unix-tool PROGRAM [ARGUMENT...]: runs a Linux program for a test under Wine and waits
// for it. The readers the tests check PDFs with (pdftotext, pdfinfo, Ghostscript, ...)
// are Linux programs, which Wine starts without a process a Windows program could wait
// on or read from. Here a shell runs the program and leaves its output, its errors and
// its exit status in files, which this program passes on as its own. An argument that
// is a Windows path (C:\... or C:/...) reaches the program as the Linux path Wine gives it.

#include <windows.h>

#include <shellapi.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using UnixFileName = char*(CDECL*)(const wchar_t*);

UnixFileName UnixNames()
{
    return reinterpret_cast<UnixFileName>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
}

std::string Utf8(const std::wstring& text)
{
    const int size =
        ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                          nullptr);
    return bytes;
}

std::wstring Wide(const std::string& utf8)
{
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), static_cast<int>(utf8.size()), text.data(), size);
    return text;
}

std::string UnixPath(UnixFileName unixName, const std::wstring& path)
{
    char* name = unixName(path.c_str());
    if (name == nullptr)
        return Utf8(path);
    std::string result(name);
    ::HeapFree(::GetProcessHeap(), 0, name);
    return result;
}

bool IsWindowsPath(const std::wstring& arg)
{
    return arg.size() >= 3 && ((arg[0] >= L'A' && arg[0] <= L'Z') || (arg[0] >= L'a' && arg[0] <= L'z')) &&
           arg[1] == L':' && (arg[2] == L'\\' || arg[2] == L'/');
}

std::string ShellQuoted(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

bool WriteAll(HANDLE file, const std::string& bytes)
{
    DWORD written = 0;
    return bytes.empty() || (::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                             written == bytes.size());
}

std::string ReadAll(const std::wstring& path)
{
    std::string bytes;
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    char buffer[65536];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    ::CloseHandle(file);
    return bytes;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes)
{
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = WriteAll(file, bytes);
    ::CloseHandle(file);
    return ok;
}

int Fail(const std::string& why)
{
    WriteAll(::GetStdHandle(STD_ERROR_HANDLE), "unix-tool: " + why + "\n");
    return 127;
}

}  // namespace

int main()
{
    int count = 0;
    wchar_t** args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (args == nullptr || count < 2)
        return Fail("usage: unix-tool PROGRAM [ARGUMENT...]");
    const UnixFileName unixName = UnixNames();
    if (unixName == nullptr)
        return Fail("runs under Wine only");

    wchar_t temp[MAX_PATH + 1];
    const DWORD size = ::GetTempPathW(MAX_PATH + 1, temp);
    if (size == 0 || size > MAX_PATH)
        return Fail("no temporary folder");
    const std::wstring folder = std::wstring(temp) + L"unix-tool-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                std::to_wstring(::GetTickCount64());
    if (!::CreateDirectoryW(folder.c_str(), nullptr))
        return Fail("cannot make " + Utf8(folder));
    const std::string unixFolder = UnixPath(unixName, folder);

    wchar_t current[MAX_PATH + 1];
    const DWORD currentSize = ::GetCurrentDirectoryW(MAX_PATH + 1, current);
    std::string command = "PATH=/usr/local/bin:/usr/bin:/bin; export PATH\n";
    if (currentSize > 0 && currentSize <= MAX_PATH)
        command += "cd " + ShellQuoted(UnixPath(unixName, current)) + " || exit 1\n";
    for (int i = 1; i < count; ++i) {
        const std::wstring arg = args[i];
        command += ShellQuoted(IsWindowsPath(arg) ? UnixPath(unixName, arg) : Utf8(arg)) + " ";
    }
    const std::string out = unixFolder + "/out", err = unixFolder + "/err", code = unixFolder + "/code";
    command += "<" + ShellQuoted("/dev/null") + " >" + ShellQuoted(out) + " 2>" + ShellQuoted(err) + "\n";
    command += "echo $? >" + ShellQuoted(code + ".part") + " && mv " + ShellQuoted(code + ".part") + " " +
               ShellQuoted(code) + "\n";
    ::LocalFree(args);
    const std::wstring script = folder + L"\\run.sh";
    if (!WriteFileBytes(script, command))
        return Fail("cannot write " + Utf8(script));

    // Wine runs a Linux program it is asked to start, but gives no handle to it.
    std::wstring line = L"sh \"" + Wide(unixFolder + "/run.sh") + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(L"Z:\\bin\\sh", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return Fail("cannot start /bin/sh");
    if (info.hProcess != nullptr)
        ::CloseHandle(info.hProcess);
    if (info.hThread != nullptr)
        ::CloseHandle(info.hThread);

    const std::wstring codeFile = folder + L"\\code";
    const ULONGLONG deadline = ::GetTickCount64() + 600000;
    while (::GetFileAttributesW(codeFile.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (::GetTickCount64() > deadline)
            return Fail("no end of the program in 10 minutes");
        ::Sleep(5);
    }
    const int status = std::atoi(ReadAll(codeFile).c_str());
    WriteAll(::GetStdHandle(STD_OUTPUT_HANDLE), ReadAll(folder + L"\\out"));
    WriteAll(::GetStdHandle(STD_ERROR_HANDLE), ReadAll(folder + L"\\err"));
    for (const wchar_t* name : {L"\\out", L"\\err", L"\\code", L"\\run.sh"})
        ::DeleteFileW((folder + name).c_str());
    ::RemoveDirectoryW(folder.c_str());
    return status;
}
