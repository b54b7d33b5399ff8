# GTKWave: the signals of a lift trip from placasim's --vcd, fitted to the window.
#   gtkwave -S examples/teaching/waveform.tcl RUN.vcd
gtkwave::addSignalsFromList [list lift.in2 lift.in4 lift.in5 lift.in6 lift.out1 lift.out2 lift.motor1 lift.cabin]
gtkwave::/Edit/UnHighlight_All
gtkwave::highlightSignalsFromList [list lift.cabin]
gtkwave::/Edit/Data_Format/Analog/Interpolated
gtkwave::/Edit/Insert_Analog_Height_Extension
gtkwave::/Edit/Insert_Analog_Height_Extension
gtkwave::/Edit/UnHighlight_All
gtkwave::highlightSignalsFromList [list lift.motor1]
gtkwave::/Edit/Data_Format/Analog/Step
gtkwave::/Edit/UnHighlight_All
gtkwave::/Time/Zoom/Zoom_Best_Fit
