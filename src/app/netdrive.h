#pragma once

// The network drive commands: a server location (smb://, sftp://, ftp://, dav://) mounted
// and unmounted through GIO and the desktop's GVfs daemons, their questions answered by our
// own dialogs. Both end with hint 15 so that the trees read the mounts again.

class QWidget;

namespace tamro {

class CRXDoc;

// Asks for an address (with a history in NetDrive/Address0..9) and mounts it. True when the
// location is mounted now (also when it already was).
bool ConnectNetworkDrive(CRXDoc &doc, QWidget *parent);

// Lists the mounted network locations, unmounts the chosen one. True when one was unmounted.
bool DisconnectNetworkDrive(CRXDoc &doc, QWidget *parent);

}  // namespace tamro
