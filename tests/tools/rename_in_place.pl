#!/usr/bin/perl
# Renames one record of a dBASE table in place the way a Perl script of an office does, through
# the independent writer XBase (update_record_hash): the record's bytes change, the index file
# beside the table is left alone.
#   rename_in_place.pl TABLE RECORD FIELD NEWTEXT
# RECORD counts from 1; NEWTEXT is UTF-8 and stored in code page 866. Exit status 3 when XBase
# is not installed.
use strict;
use warnings;

eval { require XBase; 1 } or exit 3;
use Encode qw(encode decode);

my ($file, $record, $field, $text) = @ARGV;
die "usage: rename_in_place.pl TABLE RECORD FIELD TEXT\n" unless defined $text;
my $table = XBase->new('name' => $file, 'ignorememo' => 1) or die XBase->errstr;
$table->update_record_hash($record - 1, $field => encode('cp866', decode('UTF-8', $text)))
    or die $table->errstr;
$table->close;
