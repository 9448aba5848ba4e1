// node_mime_data: the payload of a drag that starts in a browser pane. It
// never leaves the process: the entries travel as pointers into the source
// pane's tree, which outlives the drag. Drop targets recognise it by
// node_mime_data::from() and its MIME format.
#pragma once

#include <QMimeData>
#include <vector>

namespace qvtf {
class qx_file_lister;
struct qxfile_node;
}  // namespace qvtf

class node_mime_data : public QMimeData {
    Q_OBJECT
public:
    // The format that marks a pane drag (no data of its own is stored
    // under it beyond a marker).
    static const char* format();

    node_mime_data(bool from_remote, qvtf::qx_file_lister* source, std::vector<qvtf::qxfile_node*> nodes);

    // The pane drag carried by data, or null for any other payload.
    static const node_mime_data* from(const QMimeData* data);

    bool from_remote() const { return from_remote_; }
    qvtf::qx_file_lister* source() const { return source_; }
    const std::vector<qvtf::qxfile_node*>& nodes() const { return nodes_; }

private:
    bool from_remote_;
    qvtf::qx_file_lister* source_;
    std::vector<qvtf::qxfile_node*> nodes_;
};
