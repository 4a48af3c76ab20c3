@echo off
rem Greets from the installed demo product.
echo Hello from Qel Demo, installed in %~dp0..
