// KeePass 2 XML read with Qt's stream reader: the groups below Root, each
// group's name before its entries and subgroups, as KeePass writes them.
#include "tools/command_table.h"
#include "tools/data/import_entries.h"

#include <QXmlStreamReader>

namespace kdata {
namespace {

class XmlEntries
{
public:
    explicit XmlEntries(const std::string& bytes)
        : m_xml(QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size())))
    {
    }

    std::vector<ImportEntry> read()
    {
        if (!m_xml.readNextStartElement() || m_xml.name() != u"KeePassFile")
            fail("no KeePassFile element");
        while (m_xml.readNextStartElement()) {
            if (m_xml.name() == u"Meta")
                readMeta();
            else if (m_xml.name() == u"Root")
                readRoot();
            else
                m_xml.skipCurrentElement();
        }
        if (m_xml.hasError())
            fail(m_xml.errorString().toStdString());
        return std::move(m_entries);
    }

private:
    [[noreturn]] void fail(const std::string& why)
    {
        throw tools::Refused("not a KeePass 2 XML file: line " + std::to_string(m_xml.lineNumber()) + ": " + why);
    }

    void readMeta()
    {
        while (m_xml.readNextStartElement()) {
            if (m_xml.name() == u"RecycleBinUUID")
                m_recycleBin = m_xml.readElementText();
            else
                m_xml.skipCurrentElement();
        }
    }

    void readRoot()
    {
        while (m_xml.readNextStartElement()) {
            if (m_xml.name() == u"Group")
                readGroup(std::string(), true);
            else
                m_xml.skipCurrentElement();
        }
    }

    // `path`: the parent's path ("" below the top group).
    void readGroup(const std::string& parent, bool top)
    {
        std::string path = parent;
        const size_t first = m_entries.size();
        bool subgroups = false;
        while (m_xml.readNextStartElement()) {
            if (m_xml.name() == u"UUID") {
                // Deleted entries stay in the recycle bin: they are not the user's records.
                if (m_xml.readElementText() == m_recycleBin && !m_recycleBin.isEmpty()) {
                    m_xml.skipCurrentElement();
                    return;
                }
            } else if (m_xml.name() == u"Name") {
                const std::string name = m_xml.readElementText().toStdString();
                if (!top)
                    path = parent.empty() ? name : parent + "/" + name;
            } else if (m_xml.name() == u"Entry") {
                readEntry(path);
            } else if (m_xml.name() == u"Group") {
                subgroups = true;
                readGroup(path, false);
            } else {
                m_xml.skipCurrentElement();
            }
        }
        if (!top && !subgroups && m_entries.size() == first) {
            ImportEntry empty;
            empty.group = path;
            empty.group_only = true;
            m_entries.push_back(std::move(empty));
        }
    }

    void readEntry(const std::string& group)
    {
        ImportEntry entry;
        entry.group = group;
        while (m_xml.readNextStartElement()) {
            if (m_xml.name() != u"String") {
                m_xml.skipCurrentElement(); // its History among them: older versions are not records
                continue;
            }
            QString key, value;
            while (m_xml.readNextStartElement()) {
                if (m_xml.name() == u"Key")
                    key = m_xml.readElementText();
                else if (m_xml.name() == u"Value")
                    value = m_xml.readElementText();
                else
                    m_xml.skipCurrentElement();
            }
            std::string* field = key == u"Title"      ? &entry.title
                                 : key == u"UserName" ? &entry.username
                                 : key == u"Password" ? &entry.password
                                 : key == u"URL"      ? &entry.url
                                 : key == u"Notes"    ? &entry.notes
                                                      : nullptr;
            if (field)
                *field = value.toStdString();
        }
        m_entries.push_back(std::move(entry));
    }

    QXmlStreamReader m_xml;
    QString m_recycleBin;
    std::vector<ImportEntry> m_entries;
};

} // namespace

std::vector<ImportEntry> read_keepass_xml(const std::string& bytes)
{
    return XmlEntries(bytes).read();
}

} // namespace kdata
