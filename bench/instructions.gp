# Instructions per run against the number of quotes: flat lines mean a run
# costs the same whatever the size of the quote file.
set terminal svg size 720,440 dynamic enhanced font "sans,12"
set output output
set title "Instructions per run (callgrind)"
set xlabel "quotes in the file"
set ylabel "instructions"
set logscale x
set xrange [5:2000000]
set yrange [0:*]
set format x "10^{%L}"
set key outside bottom center horizontal
set grid
plot data using 1:2 with linespoints lw 2 title "dictorn, console", \
     data using 1:3 with linespoints lw 2 title "dictorn, page mode", \
     data using 1:4 with lines dt 2 lw 2 title "floor, console env", \
     data using 1:5 with lines dt 3 lw 2 title "floor, CGI env"
