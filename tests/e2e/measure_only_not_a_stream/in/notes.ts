not a transport stream
