@echo off
rem The lift program on the simulated board, from this folder (the cabin pictures are here).
cd /d "%~dp0"
placasim.exe -- elevmando.exe
