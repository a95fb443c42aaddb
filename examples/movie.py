adm = Avidemux()
if not adm.loadVideo("movie.ts"):
    raise("Cannot load movie.ts")
adm.clearSegments()
adm.addSegment(0, 3336666, 3336667)
adm.addSegment(0, 10010000, 3336666)
adm.markerA = 0
adm.markerB = 6673333
