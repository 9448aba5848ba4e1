#include "app/node_mime.h"

const char* node_mime_data::format()
{
    return "application/x-qvtf-pane-nodes";
}

node_mime_data::node_mime_data(bool from_remote, qvtf::qx_file_lister* source, std::vector<qvtf::qxfile_node*> nodes)
    : from_remote_(from_remote), source_(source), nodes_(std::move(nodes))
{
    setData(QString::fromLatin1(format()), QByteArray(from_remote ? "remote" : "local"));
}

const node_mime_data* node_mime_data::from(const QMimeData* data)
{
    return qobject_cast<const node_mime_data*>(data);
}
