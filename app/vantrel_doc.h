#pragma once

#include "framework/cmd_target.h"

#include <string>

// The document holds no data: it only has a name. Renewing or opening it makes the
// view list its folder again; saving creates an empty file.
class CVantrelDoc : public CCmdTarget {
public:
    CVantrelDoc() = default;

    bool OnNewDocument();
    // The file must be readable; nothing is read from it.
    bool OnOpenDocument(const std::string& path);
    // Writes nothing: the file is created (or emptied).
    bool OnSaveDocument(const std::string& path);

    bool OnCmdMsg(unsigned nID, CCmdUI* pCmdUI) override;
    // Always asks for a name: see the .cpp.
    void OnFileSave();

    const std::string& GetPathName() const { return m_strPathName; }
    // "無題" for an untitled document, else the file's name without its folder.
    std::string GetTitle() const;

private:
    std::string m_strPathName;
};
