// The begin/end bracket shared by the download, verify and upload procedures.
#include "target/loadbracket.h"

#include "common/text.h"
#include "target/targetinterface.h"

namespace zim::target {

namespace {

struct ProcedureTexts
{
    const char *group;
    const char *preposition;
    const char *complete;
    const char *failed;
};

// Indexed by LoadBracket::Procedure.
constexpr ProcedureTexts procedureTexts[] = {
    {"Downloading ", " to ", "Download complete", "Download failed"},
    {"Verifying ", " on ", "Verify complete", "Verify failed"},
    {"Uploading ", " from ", "Upload complete", "Upload failed"},
};

} // namespace

LoadBracket::LoadBracket(TargetInterface &target, Procedure procedure) : m_target(target), m_procedure(procedure)
{
    m_target.beginLoad();
}

LoadBracket::~LoadBracket()
{
    if (m_closed)
        return;
    const ProcedureTexts &texts = procedureTexts[m_procedure];
    try {
        m_target.endLoad();
    } catch (...) {
    }
    try {
        emit m_target.endGroup(QString());
        emit m_target.message(QLatin1String(texts.failed), TargetInterface::MessageFailure);
    } catch (...) {
    }
}

void LoadBracket::openGroup(const QString &fileName)
{
    const ProcedureTexts &texts = procedureTexts[m_procedure];
    emit m_target.beginGroup(QLatin1String(texts.group) + QChar(0x201C) + common::fileNameOnly(fileName) + QChar(0x201D)
                                 + QLatin1String(texts.preposition) + m_target.objectName(),
                             TargetInterface::MessageCompletion);
}

void LoadBracket::complete(bool success)
{
    const ProcedureTexts &texts = procedureTexts[m_procedure];
    // From here on a failure, even of endLoad, is not reported as a failed load a second time.
    m_closed = true;
    emit m_target.endGroup(QString());
    if (success)
        emit m_target.message(QLatin1String(texts.complete), TargetInterface::MessageCompletion);
    else
        emit m_target.message(QLatin1String(texts.failed), TargetInterface::MessageFailure);
    m_target.endLoad();
}

} // namespace zim::target
