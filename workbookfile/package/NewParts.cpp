#include "NewParts.h"

#include "PackageNames.h"
#include "PartNames.h"
#include "XmlText.h"

namespace workbookfile {

namespace {

std::string isoTime(std::time_t t) {
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buf;
}

} // namespace

std::string contentTypesHead() {
    return std::string(kXmlDeclaration) + "<Types xmlns=\"" + kContentTypesNamespace +
           "\"><Default Extension=\"rels\" ContentType=\"" + kRelationshipsContentType +
           "\"/><Default Extension=\"xml\" ContentType=\"application/xml\"/>";
}

std::string contentTypeOverride(const std::string& part, const char* type) {
    std::string out = "<Override PartName=\"/";
    appendXmlEscaped(out, part);
    return out + "\" ContentType=\"" + type + "\"/>";
}

std::string newContentTypes() {
    return contentTypesHead() + contentTypeOverride("xl/workbook.xml", kWorkbookContentType) +
           contentTypeOverride("docProps/core.xml", kCorePropertiesContentType) +
           contentTypeOverride("docProps/app.xml", kExtendedPropertiesContentType) + "</Types>";
}

std::string relationshipElement(const std::string& id, const std::string& type, const std::string& target) {
    std::string out = "<Relationship Id=\"" + id + "\" Type=\"" + type + "\" Target=\"";
    appendXmlEscaped(out, target);
    return out + "\"/>";
}

std::string newRootRelationships(const std::string& workbookPart) {
    return std::string(kXmlDeclaration) + "<Relationships xmlns=\"" + kPackageRelNamespace + "\">" +
           relationshipElement("rId1", relationshipType("officeDocument"), workbookPart) +
           relationshipElement("rId2", kCorePropertiesRelType, "docProps/core.xml") +
           relationshipElement("rId3", relationshipType("extended-properties"), "docProps/app.xml") +
           "</Relationships>";
}

std::string emptyRelationships() {
    return std::string(kXmlDeclaration) + "<Relationships xmlns=\"" + kPackageRelNamespace + "\"/>";
}

std::string newAppProperties() {
    return std::string(kXmlDeclaration) + "<Properties xmlns=\"" + kExtendedPropertiesNamespace +
           "\"><Application>Gridwell</Application></Properties>";
}

std::string newCoreProperties(std::time_t t) {
    const std::string stamp = isoTime(t);
    return std::string(kXmlDeclaration) + "<cp:coreProperties xmlns:cp=\"" + kCorePropertiesNamespace +
           "\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmlns:dcterms=\"http://purl.org/dc/terms/\" "
           "xmlns:dcmitype=\"http://purl.org/dc/dcmitype/\" "
           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">"
           "<dcterms:created xsi:type=\"dcterms:W3CDTF\">" +
           stamp + "</dcterms:created><dcterms:modified xsi:type=\"dcterms:W3CDTF\">" + stamp +
           "</dcterms:modified></cp:coreProperties>";
}

std::string newWorkbookXml() {
    return std::string(kXmlDeclaration) + "<workbook xmlns=\"" + kMainNamespace + "\" xmlns:r=\"" +
           kRelNamespace + "\"><bookViews><workbookView/></bookViews><sheets/></workbook>";
}

std::string newStyleSheet() {
    return std::string(kXmlDeclaration) + "<styleSheet xmlns=\"" + kMainNamespace +
           "\">"
           "<fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/><family "
           "val=\"2\"/></font></fonts>"
           "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
           "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
           "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
           "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" "
           "borderId=\"0\"/></cellStyleXfs>"
           "<cellXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" "
           "xfId=\"0\"/></cellXfs>"
           "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles>"
           "<dxfs count=\"0\"/><tableStyles count=\"0\"/>"
           "</styleSheet>";
}

} // namespace workbookfile
