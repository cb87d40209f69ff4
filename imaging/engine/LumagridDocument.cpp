#include "LumagridDocument.h"

LumagridDocument::LumagridDocument(QObject *parent) : QObject(parent) {}
bool LumagridDocument::setFileName(const QString &) { return false; }
QString LumagridDocument::counterText() const { return {}; }
LumagridDocument::OpenResult LumagridDocument::openSource(const QString &) { return OpenResult::Failed; }
void LumagridDocument::clearEngine() {}
void LumagridDocument::pulizia() {}
bool LumagridDocument::goToPage(int) { return false; }
void LumagridDocument::addScannedPage(const ImgXImage &) {}
LumagridDocument::SaveResult LumagridDocument::save() { return SaveResult::Failed; }
bool LumagridDocument::FileExists(const QString &) { return false; }
QString LumagridDocument::StripQuotes(const QString &s) { return s; }
void LumagridDocument::updateLowResFax() {}
