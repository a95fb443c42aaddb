#PY  <- Needed to identify #
#--automatically built--

adm = Avidemux()
if not adm.loadVideo("/rec/rec.ts"):
    raise("Cannot load /rec/rec.ts")
adm.clearSegments()
adm.addSegment(0, 3336666, 3336667)
adm.addSegment(0, 10010000, 3336666)
adm.addSegment(0, 20020000, 5000000)
adm.markerA = 0
adm.markerB = 6673333
adm.videoCodec("Copy")
adm.audioClearTracks()
adm.setContainer("MKV", "forceAspectRatio=False", "displayWidth=1280", "displayAspectRatio=2", "addColourInfo=False", "colMatrixCoeff=2", "colRange=0", "colTransfer=2", "colPrimaries=2")
