G28
G1 X10 Y10
; printer_model = T1
