#pragma once

class QAbstractSocket;

namespace tarvik {

// How soon a connection whose peer went away without a word (a machine switched
// off, a pulled cable, a dropped wireless link) is found out: probes after
// `idleS` seconds of silence, every `intervalS` seconds, `probes` unanswered
// ones end it; output left unacknowledged for `userTimeoutMs` ends it too. The
// defaults, the server's, find it out in about a minute.
struct NcidKeepAlive {
    int idleS = 30;
    int intervalS = 10;
    int probes = 3;
    int userTimeoutMs = 60'000;
};

// Without it a peer that vanished keeps its connection for ever, as nothing is
// sent while the line is quiet. For a connected socket only.
void setKeepAlive(QAbstractSocket& socket, const NcidKeepAlive& keepAlive);

} // namespace tarvik
