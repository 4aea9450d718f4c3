#include "printing/dump_job.h"

#include "printing/work_file.h"
#include "textfile/text_file_writer.h"

#include <cerrno>

namespace {

// The user's words for a dump that was not written, one entry a way it can end.
std::string FailureMessage(const DumpJob& job, const std::string& path, std::int64_t available)
{
    const DumpResult& r = job.result;
    switch (r.status) {
    case DumpStatus::SourceOpenFailed:
        return FileOpenFailedMessage(path, r.error);
    case DumpStatus::ReadFailed:
        return FileReadFailedMessage(path, r.error);
    case DumpStatus::NoRoom:
        return NoRoomMessage(job.workFile, r.textSize, static_cast<std::uint64_t>(available));
    case DumpStatus::WriteFailed:
        return WorkFileFailedMessage(job.workFile);
    case DumpStatus::Cancelled:
    case DumpStatus::Done:
    case DumpStatus::OutOfRange:
        break;
    }
    return {};
}

}  // namespace

DumpJob WriteDumpJob(CWorkFile& work, const std::string& path, DumpPages pages, DumpHooks hooks,
                     const ReasonText& reason)
{
    DumpJob job;
    // The private folder is checked (and made anew if need be) before every dump.
    job.workFile = work.Prepare();
    CTextFileWriter out;
    const std::error_code created = job.workFile.empty() ? SystemError(ENOENT) : work.Create(out);
    if (created) {
        job.result.status = DumpStatus::WriteFailed;
        job.message = WorkFileFailedMessage(job.workFile.empty() ? work.Where() : job.workFile);
        job.reason = reason(created);
        return job;
    }
    hooks.available = work.FreeBytes();
    hooks.digest = true;
    job.result = WriteDumpFile(path, out, pages, hooks);
    out.Close();
    if (job.result.status == DumpStatus::Done && out.Failed()) {
        job.result.status = DumpStatus::WriteFailed;
        job.result.error = out.Error();
    }
    job.message = FailureMessage(job, path, hooks.available);
    if (job.result.status == DumpStatus::WriteFailed)
        job.reason = reason(job.result.error ? job.result.error : SystemError(EIO));
    if (!job.Written()) {
        work.RemoveFile();  // nothing of a failed or cancelled dump stays behind
        return job;
    }
    job.geometry = DumpGeometry{path, job.result.length, job.result.pageTotal, pages.first};
    job.record = DumpRecordOf(path, job.result);
    return job;
}
